// kanaroll-calc on one line of a 20,000-character self name and a
// one-character partner: peak memory of the process and the time of the line
// (its 200 million digits written to /dev/null).

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

int main()
{
    std::mt19937 rng(20000);
    const char *kana[] = {"あ", "い", "う", "え", "お", "か", "き", "く", "け", "こ"};
    std::string line;
    for (int i = 0; i < 20000; ++i)
        line += kana[rng() % 10];
    line += "\tい\n";

    int in[2];
    if (pipe(in) != 0)
        return 1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(in[0], 0);
        dup2(devnull, 1);
        close(in[0]);
        close(in[1]);
        execl(KANAROLL_CALC, KANAROLL_CALC, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(in[0]);
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = write(in[1], line.data() + done, line.size() - done);
        if (n <= 0)
            return 1;
        done += static_cast<std::size_t>(n);
    }
    close(in[1]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "kanaroll-calc failed\n");
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("calc_peak_memory_L20000: %.1f MB (target: <= 50)\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::printf("calc_time_L20000: %.3f s (target: none, reference)\n", seconds);
    return 0;
}
