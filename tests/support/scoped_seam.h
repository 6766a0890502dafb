#pragma once

namespace test_support
{
// Swaps a replaceable function table for one scope and puts the saved one back at scope exit,
// so that an ASSERT returning early never leaves a fake in place for the next test.
template <typename Table> class scoped_seam
{
public:
    explicit scoped_seam(Table& table) : table_(table), saved_(table) {}
    scoped_seam(Table& table, const Table& replacement) : scoped_seam(table) { table_ = replacement; }
    ~scoped_seam() { table_ = saved_; }
    scoped_seam(const scoped_seam&) = delete;
    scoped_seam& operator=(const scoped_seam&) = delete;

    Table* operator->() { return &table_; }

private:
    Table& table_;
    const Table saved_;
};
} // namespace test_support
