#include "menu_render.h"

#include "menu_icons.h"
#include "menu_picture.h"

#include "TagShellExtension/icons/gdiplus_bitmap.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <vector>

namespace tag_menu_host
{
namespace
{
using namespace Gdiplus;

// Windows 11's menu colours, flattened onto the panel so the picture needs no acrylic.
struct palette
{
    ARGB backdrop;
    ARGB panel;
    ARGB border; // translucent: it darkens or lightens the shadow beneath
    ARGB shadow; // the colour of every shadow layer; its alpha is the darkest layer's
    ARGB text;
    ARGB secondary; // hot keys and the submenu arrow
    ARGB disabled;
    ARGB hot; // the row whose cascade is open
    ARGB separator;
};

constexpr palette light_palette{0xFFE9ECEF, 0xFFF9F9F9, 0x26000000, 0x07000000, 0xFF1A1A1A,
                                0xFF6E6E6E, 0xFFA3A3A3, 0xFFEBEBEB, 0xFFE5E5E5};
constexpr palette dark_palette{0xFF1C1C1C, 0xFF2C2C2C, 0x2EFFFFFF, 0x12000000, 0xFFFFFFFF,
                               0xFFB4B4B4, 0xFF7A7A7A, 0xFF3A3A3A, 0xFF3F3F3F};

// Metrics in pixels at 100 % scaling.
constexpr REAL margin = 32;
constexpr REAL row_height = 30;
constexpr REAL separator_height = 9;
constexpr REAL panel_padding = 4; // above the first row and below the last
constexpr REAL row_inset = 4;     // between the panel edge and a row's highlight
constexpr REAL row_padding = 12;  // between the highlight edge and the icon or the arrow
constexpr REAL icon_gap = 12;
constexpr REAL hot_key_gap = 40;
constexpr REAL arrow_area = 20;
constexpr REAL panel_corner = 8;
constexpr REAL row_corner = 4;
constexpr REAL min_panel_width = 200;
constexpr REAL cascade_overlap = 4;
constexpr REAL font_size = 12;
constexpr int shadow_layers = 14;
constexpr int supersampling = 4;
constexpr REAL shadow_drop = 6; // how far the outermost shadow layer falls below the panel

// "Segoe UI" on Windows; under Wine whichever stand-in it has.
std::unique_ptr<FontFamily> menu_font_family()
{
    for (const wchar_t* name : {L"Segoe UI", L"Tahoma", L"Liberation Sans", L"DejaVu Sans", L"Arial"})
    {
        auto family = std::make_unique<FontFamily>(name);
        if (family->GetLastStatus() == Ok && family->IsAvailable())
        {
            return family;
        }
    }
    return std::unique_ptr<FontFamily>(FontFamily::GenericSansSerif()->Clone());
}

void add_rounded(GraphicsPath& path, const RectF& r, REAL radius)
{
    const REAL d = 2 * radius;
    path.AddArc(r.X, r.Y, d, d, 180, 90);
    path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
    path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
    path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
    path.CloseFigure();
}

void fill_rounded(Graphics& graphics, ARGB colour, const RectF& r, REAL radius)
{
    GraphicsPath path;
    add_rounded(path, r, radius);
    SolidBrush brush{Color(colour)};
    graphics.FillPath(&brush, &path);
}

ARGB with_alpha(ARGB colour, REAL factor)
{
    const auto alpha = static_cast<ARGB>(static_cast<REAL>(colour >> 24) * factor + 0.5f);
    return (colour & 0x00FFFFFF) | (alpha << 24);
}

// A soft shadow falling a little downwards, a hairline border over it and the panel itself.
void draw_panel(Graphics& graphics, const palette& colours, const RectF& r)
{
    for (int layer = shadow_layers; layer >= 1; --layer)
    {
        const auto spread = static_cast<REAL>(layer);
        const REAL weight = 1 - spread / (shadow_layers + 1);
        const REAL drop = 1 + spread * shadow_drop / shadow_layers;
        RectF shade(r.X - spread, r.Y - spread + drop, r.Width + 2 * spread, r.Height + 2 * spread);
        fill_rounded(graphics, with_alpha(colours.shadow, weight * weight), shade, panel_corner + spread);
    }
    fill_rounded(graphics, colours.border, r, panel_corner);
    RectF inside(r.X + 1, r.Y + 1, r.Width - 2, r.Height - 2);
    fill_rounded(graphics, colours.panel, inside, panel_corner - 1);
}

struct row
{
    const menu_entry* entry = nullptr;
    title_parts title;
    std::unique_ptr<Bitmap> icon;
    bool hot = false;

    REAL height() const { return entry->is_separator() ? separator_height : row_height; }
};

// The rows of one menu panel and the width they need.
struct panel
{
    std::vector<row> rows;
    RectF bounds;

    REAL content_height() const
    {
        REAL height = 2 * panel_padding + 2; // the border too
        for (const auto& r : rows)
        {
            height += r.height();
        }
        return height;
    }
};

// Calls back with each row and the area it takes, highlight insets applied.
template <typename Callback> void for_each_row(const panel& menu, Callback&& callback)
{
    REAL y = menu.bounds.Y + 1 + panel_padding;
    for (const auto& r : menu.rows)
    {
        callback(r,
                 RectF(menu.bounds.X + 1 + row_inset, y, menu.bounds.Width - 2 - 2 * row_inset, r.height()));
        y += r.height();
    }
}

class painter
{
public:
    painter(Graphics& graphics, const palette& colours, const Font& font)
        : graphics_(graphics), colours_(colours), font_(font)
    {
        format_.SetFormatFlags(StringFormatFlagsNoWrap | StringFormatFlagsMeasureTrailingSpaces);
        format_.SetLineAlignment(StringAlignmentCenter);
        format_.SetTrimming(StringTrimmingNone);
    }

    REAL text_width(const std::wstring& text) const
    {
        if (text.empty())
        {
            return 0;
        }
        RectF box;
        graphics_.MeasureString(text.c_str(), static_cast<INT>(text.size()), &font_, PointF(0, 0), &format_,
                                &box);
        return box.Width;
    }

    REAL width_needed(const panel& menu) const
    {
        REAL titles = 0, hot_keys = 0;
        bool arrows = false;
        for (const auto& r : menu.rows)
        {
            titles = std::max(titles, text_width(r.title.text));
            hot_keys = std::max(hot_keys, text_width(r.title.hot_key));
            arrows = arrows || r.entry->has_sub_commands();
        }
        REAL width = 2 + 2 * row_inset + 2 * row_padding + icon_size + icon_gap + titles;
        width += hot_keys > 0 ? hot_key_gap + hot_keys : 0;
        width += arrows ? arrow_area : 0;
        return std::max(min_panel_width, static_cast<REAL>(static_cast<int>(width + 0.999f)));
    }

    // Text and icons, drawn at their own pixel size so that they stay crisp.
    void draw_content(const panel& menu)
    {
        for_each_row(menu,
                     [&](const row& r, const RectF& area)
                     {
                         if (!r.entry->is_separator())
                         {
                             draw_row(r, area);
                         }
                     });
    }

private:
    void draw_row(const row& r, const RectF& area)
    {
        const bool disabled = r.entry->is_disabled();
        const REAL icon_x = area.X + row_padding;
        if (r.icon)
        {
            const auto x = static_cast<INT>(icon_x);
            const auto top = static_cast<INT>(area.Y + (area.Height - icon_size) / 2);
            ImageAttributes greyed;
            if (disabled)
            {
                // Grey and faded, the way a disabled entry's icon shows.
                ColorMatrix matrix = {{{0.30f, 0.30f, 0.30f, 0, 0},
                                       {0.59f, 0.59f, 0.59f, 0, 0},
                                       {0.11f, 0.11f, 0.11f, 0, 0},
                                       {0, 0, 0, 0.45f, 0},
                                       {0, 0, 0, 0, 1}}};
                greyed.SetColorMatrix(&matrix);
            }
            graphics_.DrawImage(r.icon.get(), Rect(x, top, icon_size, icon_size), 0, 0, icon_size, icon_size,
                                UnitPixel, disabled ? &greyed : nullptr);
        }
        const REAL text_x = icon_x + icon_size + icon_gap;
        const REAL right = area.X + area.Width - row_padding - (r.entry->has_sub_commands() ? arrow_area : 0);
        SolidBrush text_brush{Color(disabled ? colours_.disabled : colours_.text)};
        SolidBrush key_brush{Color(disabled ? colours_.disabled : colours_.secondary)};
        const REAL key_width = text_width(r.title.hot_key);
        if (key_width > 0)
        {
            const RectF key_box(right - key_width, area.Y, key_width + 1, area.Height);
            graphics_.DrawString(r.title.hot_key.c_str(), static_cast<INT>(r.title.hot_key.size()), &font_,
                                 key_box, &format_, &key_brush);
        }
        const RectF title_box(text_x, area.Y, std::max(REAL(0), right - key_width - text_x), area.Height);
        graphics_.DrawString(r.title.text.c_str(), static_cast<INT>(r.title.text.size()), &font_, title_box,
                             &format_, &text_brush);
    }

    Graphics& graphics_;
    const palette& colours_;
    const Font& font_;
    StringFormat format_;
};

// Explorer's chevron: a thin ">" about eight pixels tall, its tip at the given point.
void draw_arrow(Graphics& graphics, REAL tip_x, REAL middle, ARGB colour)
{
    Pen pen{Color(colour), 1.0f};
    pen.SetLineJoin(LineJoinRound);
    pen.SetStartCap(LineCapRound);
    pen.SetEndCap(LineCapRound);
    const PointF points[] = {{tip_x - 4, middle - 4}, {tip_x, middle}, {tip_x - 4, middle + 4}};
    graphics.DrawLines(&pen, points, 3);
}

// Everything with curves or slopes: drawn on the supersampled layer, in picture coordinates.
void draw_shapes(Graphics& graphics, const palette& colours, const panel& menu)
{
    draw_panel(graphics, colours, menu.bounds);
    for_each_row(menu,
                 [&](const row& r, const RectF& area)
                 {
                     if (r.entry->is_separator())
                     {
                         SolidBrush line{Color(colours.separator)};
                         graphics.FillRectangle(&line, menu.bounds.X + 1, area.Y + (separator_height - 1) / 2,
                                                menu.bounds.Width - 2, 1.0f);
                         return;
                     }
                     if (r.hot)
                     {
                         fill_rounded(graphics, colours.hot,
                                      RectF(area.X, area.Y + 1, area.Width, area.Height - 2), row_corner);
                     }
                     if (r.entry->has_sub_commands())
                     {
                         draw_arrow(graphics, area.X + area.Width - row_padding - 4, area.Y + area.Height / 2,
                                    r.entry->is_disabled() ? colours.disabled : colours.secondary);
                     }
                 });
}

row make_row(const menu_entry& entry, bool hot)
{
    row r;
    r.entry = &entry;
    r.title = split_title(entry.title);
    r.icon = entry.is_separator() ? nullptr : load_icon(entry.icon);
    r.hot = hot;
    return r;
}

std::wstring draw_menu(const context_menu& menu, const palette& colours, const std::wstring& png_path)
{
    panel main;
    main.rows.push_back(make_row(menu.command, true));
    panel cascade;
    for (const auto& entry : menu.cascade)
    {
        if (!entry.is_hidden())
        {
            cascade.rows.push_back(make_row(entry, false));
        }
    }

    const auto family = menu_font_family();
    const Font font(family.get(), font_size, FontStyleRegular, UnitPixel);
    if (font.GetLastStatus() != Ok)
    {
        return L"GDI+ finds no font";
    }
    // Measured on a scratch surface: the picture's size depends on the text.
    Bitmap scratch(1, 1, PixelFormat32bppPARGB);
    Graphics measuring(&scratch);
    measuring.SetTextRenderingHint(TextRenderingHintAntiAliasGridFit);
    const painter measure(measuring, colours, font);

    main.bounds = RectF(margin, margin, measure.width_needed(main), main.content_height());
    const REAL cascade_width = cascade.rows.empty() ? 0 : measure.width_needed(cascade);
    // The cascade's first row lines up with the row that opened it.
    cascade.bounds = RectF(main.bounds.X + main.bounds.Width - cascade_overlap, main.bounds.Y, cascade_width,
                           cascade.content_height());
    const REAL right =
        cascade.rows.empty() ? main.bounds.X + main.bounds.Width : cascade.bounds.X + cascade_width;
    const REAL bottom =
        std::max(main.bounds.Y + main.bounds.Height, cascade.bounds.Y + cascade.bounds.Height);

    const auto width = static_cast<INT>(right + margin), height = static_cast<INT>(bottom + margin);
    Bitmap layer(width * supersampling, height * supersampling, PixelFormat32bppPARGB);
    {
        Graphics shapes(&layer);
        shapes.Clear(Color(colours.backdrop));
        shapes.SetSmoothingMode(SmoothingModeAntiAlias);
        shapes.ScaleTransform(static_cast<REAL>(supersampling), static_cast<REAL>(supersampling));
        draw_shapes(shapes, colours, main);
        if (!cascade.rows.empty())
        {
            draw_shapes(shapes, colours, cascade);
        }
        if (shapes.GetLastStatus() != Ok)
        {
            return L"GDI+ cannot draw the menu";
        }
    }
    const auto picture = shrink(layer, supersampling, width, height);
    if (!picture)
    {
        return L"GDI+ cannot draw the menu";
    }
    Graphics graphics(picture.get());
    graphics.SetInterpolationMode(InterpolationModeNearestNeighbor);
    graphics.SetTextRenderingHint(TextRenderingHintAntiAliasGridFit);
    painter paint(graphics, colours, font);
    paint.draw_content(main);
    paint.draw_content(cascade);
    if (graphics.GetLastStatus() != Ok)
    {
        return L"GDI+ cannot draw the menu";
    }
    return save_png(*picture, png_path);
}
} // namespace

std::wstring render_menu(const context_menu& menu, menu_theme theme, const std::wstring& png_path)
{
    // A failed start-up makes every drawing call fail, which draw_menu reports.
    const tag_extension::gdiplus_session session;
    return draw_menu(menu, theme == menu_theme::dark ? dark_palette : light_palette, png_path);
}
} // namespace tag_menu_host
