// What the desktop benches share: their "--name value" options and the median of rounds.
#ifndef VIX_BENCH_OPTIONS_H
#define VIX_BENCH_OPTIONS_H

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

struct BenchOption
{
    const char* name;
    std::variant<qint64*, int*, QString*> value;
};

// False for an unknown option or one without its value; the common bench runner's own
// --benchmark_* flags are passed over.
inline bool parseBenchOptions(int argc, char** argv, std::initializer_list<BenchOption> options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--benchmark_", 0) == 0)
            continue;
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const BenchOption& o) { return arg == o.name; });
        if (option == options.end() || i + 1 >= argc)
            return false;
        const char* text = argv[++i];
        if (auto* number = std::get_if<qint64*>(&option->value))
            **number = std::atoll(text);
        else if (auto* count = std::get_if<int*>(&option->value))
            **count = std::atoi(text);
        else
            *std::get<QString*>(option->value) = QString::fromLocal8Bit(text);
    }
    return true;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

#endif
