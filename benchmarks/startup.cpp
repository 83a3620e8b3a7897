// norvex_startup RUNS REFERENCE SUBJECT
// Starts the two programs RUNS times each, in alternating order, and prints
// the median wall time from spawn to exit and the median peak resident size
// of each, and the subject's figures as ratios of the reference's. Both are
// measured in the same run, so the load of the machine falls on both alike.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

struct Run
{
    double milliseconds;
    long peakKiB;
};

bool runOnce(const char *program, Run *run)
{
    char *argv[] = {const_cast<char *>(program), nullptr};
    timespec start{};
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program, nullptr, nullptr, argv, environ);
    if (error != 0) {
        std::fprintf(stderr, "norvex_startup: cannot start %s: %s\n", program,
                     std::strerror(error));
        return false;
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("norvex_startup: wait4");
            return false;
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "norvex_startup: %s failed (wait status %d)\n", program, status);
        return false;
    }
    run->milliseconds =
            double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
    run->peakKiB = usage.ru_maxrss;
    return true;
}

template<typename T>
T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc == 4 ? std::atoi(argv[1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: norvex_startup RUNS REFERENCE SUBJECT\n");
        return 2;
    }
    const char *const programs[] = {argv[2], argv[3]};

    // One unmeasured start each brings the libraries into the page cache.
    Run run{};
    for (const char *program : programs) {
        if (!runOnce(program, &run))
            return 1;
    }

    std::vector<double> times[2];
    std::vector<long> peaks[2];
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first so that neither always follows the other.
        for (int k = 0; k < 2; ++k) {
            const int which = (i + k) % 2;
            if (!runOnce(programs[which], &run))
                return 1;
            times[which].push_back(run.milliseconds);
            peaks[which].push_back(run.peakKiB);
        }
    }

    const double referenceTime = median(times[0]);
    const double subjectTime = median(times[1]);
    const long referencePeak = median(peaks[0]);
    const long subjectPeak = median(peaks[1]);
    std::printf("runs=%d\n", runs);
    std::printf("reference_ms=%.1f\nsubject_ms=%.1f\ntime_ratio=%.2f\n", referenceTime, subjectTime,
                subjectTime / referenceTime);
    std::printf("reference_min_ms=%.1f\nsubject_min_ms=%.1f\n",
                *std::min_element(times[0].begin(), times[0].end()),
                *std::min_element(times[1].begin(), times[1].end()));
    std::printf("reference_peak_mib=%.1f\nsubject_peak_mib=%.1f\npeak_ratio=%.2f\n",
                double(referencePeak) / 1024, double(subjectPeak) / 1024,
                double(subjectPeak) / double(referencePeak));
    return 0;
}
