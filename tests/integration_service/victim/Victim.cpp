// A process for the freeing service's tests to trim: maps a file, reads every page, says "ready" on
// standard output and waits to be killed.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int fd = open(argv[1], O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) return 1;
    auto* p = static_cast<volatile char*>(mmap(nullptr, st.st_size, PROT_READ, MAP_PRIVATE, fd, 0));
    if (p == MAP_FAILED) return 1;
    char sum = 0;
    for (off_t i = 0; i < st.st_size; i += 4096) sum += p[i];
    std::printf("ready %d\n", sum);
    std::fflush(stdout);
    for (;;) pause();
}
