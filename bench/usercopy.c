/* The speed limit of a copy that has to pass through user memory: a plain
 * large-block copy of the same user data a conversion moves.
 *
 *   usercopy unpack IN OUT SKIP   from byte SKIP on, keep the 2324 bytes at
 *                                 offset 24 of every 2352-byte sector
 *   usercopy pack IN OUT          wrap every 2324 bytes of IN in a
 *                                 2352-byte Mode 2 sector
 *
 * One read of 112 sectors (about 256 KiB), one pass over the bytes and one
 * write per block; no checks beyond failed calls. */
#define _FILE_OFFSET_BITS 64
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { RAW = 2352, USER = 2324, HEAD = 24, SECTORS = 112 };

static unsigned char in[SECTORS * RAW], out[SECTORS * RAW];

static void put(int fd, const unsigned char *p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w <= 0) { perror("write"); exit(1); }
        p += w;
        n -= (size_t)w;
    }
}

/* Fills the block unless the file ends; returns the bytes read. */
static size_t get(int fd, unsigned char *p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, p + got, n - got);
        if (r < 0) { perror("read"); exit(1); }
        if (r == 0) break;
        got += (size_t)r;
    }
    return got;
}

int main(int argc, char **argv)
{
    int unpack = argc == 5 && strcmp(argv[1], "unpack") == 0;
    if (!unpack && !(argc == 4 && strcmp(argv[1], "pack") == 0)) {
        fprintf(stderr, "usage: usercopy unpack IN OUT SKIP | usercopy pack IN OUT\n");
        return 2;
    }
    int fi = open(argv[2], O_RDONLY), fo = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fi < 0 || fo < 0) { perror("open"); return 1; }
    size_t from = unpack ? RAW : USER, to = unpack ? USER : RAW, got, n, i;
    if (unpack && lseek(fi, atoll(argv[4]), SEEK_SET) < 0) { perror("lseek"); return 1; }
    static const unsigned char head[HEAD] = {0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0,
                                             0, 0, 0, 2, 1, 1, 0x62, 15, 1, 1, 0x62, 15};
    while ((got = get(fi, in, SECTORS * from)) >= from) {
        n = got / from;
        for (i = 0; i < n; i++) {
            if (unpack) {
                memcpy(out + i * USER, in + i * RAW + HEAD, USER);
            } else {
                memcpy(out + i * RAW, head, HEAD);
                memcpy(out + i * RAW + HEAD, in + i * USER, USER);
                memset(out + i * RAW + HEAD + USER, 0, RAW - HEAD - USER);
            }
        }
        put(fo, out, n * to);
        if (got < SECTORS * from) break;
    }
    return close(fo) != 0;
}
