#pragma once

// Timing and counting for the figures. A figure is the median (with min and max) over repeated
// runs, each run timing the subject and its baseline back to back.

#include <cstddef>
#include <functional>
#include <vector>

namespace tag_bench
{
double now_us();

// Mean time of one call over a batch.
double time_us(int calls, const std::function<void()>& body);

struct figure
{
    std::vector<double> subject;
    std::vector<double> baseline;
    std::vector<double> ratio;

    void add(double s, double b)
    {
        subject.push_back(s);
        baseline.push_back(b);
        ratio.push_back(s / b);
    }
};

// Prints the figure; returns whether the target (an upper bound on the median ratio, none when
// not above 0) was met.
bool report(const char* name, const figure& f, const char* baseline_name, double target);

// File-system calls and allocations of one call of `body`, on this thread.
struct call_cost
{
    long attribute_queries = 0;
    long file_opens = 0;
    std::size_t allocations = 0;
};

call_cost cost_of(const std::function<void()>& body);
void print_cost(const char* what, const call_cost& cost);
} // namespace tag_bench
