/* The floor for one thread: a depth-first walk with openat and getdents64 and nothing else,
 * printing the paths of the regular files whose names fit the benchmark's masks (*.tmp, ~*,
 * *.bak, any case, but not keep.*), or of every regular file and link with "-a". Stays on the
 * volume of its root.
 *
 *   rawwalk [-a] ROOT */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

static int all;
static dev_t device;
static char path[65536];

static int ends_with(const char* name, size_t n, const char* suffix) {
  const size_t k = strlen(suffix);
  return n >= k && strcasecmp(name + n - k, suffix) == 0;
}

static int fits(const char* name) {
  const size_t n = strlen(name);
  if (strncasecmp(name, "keep.", 5) == 0) return 0;
  return name[0] == '~' || ends_with(name, n, ".tmp") || ends_with(name, n, ".bak");
}

static void walk(int parent, const char* name, size_t length) {
  const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_dev != device) {
    close(fd);
    return;
  }
  /* The whole listing first, as the program reads it. */
  size_t size = 0, capacity = 32768;
  char* buffer = malloc(capacity);
  for (;;) {
    if (capacity - size < 32768) buffer = realloc(buffer, capacity *= 2);
    const ssize_t got = getdents64(fd, buffer + size, capacity - size);
    if (got <= 0) break;
    size += (size_t)got;
  }
  for (size_t at = 0; at < size;) {
    const struct dirent64* entry = (const struct dirent64*)(buffer + at);
    at += entry->d_reclen;
    const char* n = entry->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    const size_t k = strlen(n);
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct stat s;
      if (fstatat(fd, n, &s, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(s.st_mode)   ? DT_DIR
             : S_ISREG(s.st_mode) ? DT_REG
             : S_ISLNK(s.st_mode) ? DT_LNK
                                  : 0;
    }
    if (length + k + 2 >= sizeof path) continue;
    memcpy(path + length, n, k + 1);
    if (type == DT_DIR) {
      path[length + k] = '/';
      path[length + k + 1] = 0;
      walk(fd, n, length + k + 1);
    } else if ((type == DT_REG && (all || fits(n))) || (all && type == DT_LNK)) {
      fputs(path, stdout);
      putchar('\n');
    }
  }
  path[length] = 0;
  free(buffer);
  close(fd);
}

int main(int argc, char** argv) {
  int i = 1;
  if (i < argc && strcmp(argv[i], "-a") == 0) all = 1, ++i;
  if (i >= argc) {
    fputs("usage: rawwalk [-a] ROOT\n", stderr);
    return 2;
  }
  struct stat st;
  if (stat(argv[i], &st) != 0) return 1;
  device = st.st_dev;
  size_t length = strlen(argv[i]);
  memcpy(path, argv[i], length + 1);
  if (length == 0 || path[length - 1] != '/') path[length++] = '/', path[length] = 0;
  walk(AT_FDCWD, argv[i], length);
  return 0;
}
