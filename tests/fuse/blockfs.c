/* A test file system whose calls block until the test lets them go: a stalled network server
 * or a disk that retries, on demand.
 *
 *   blockfs TREE CONTROL MOUNTPOINT [FUSE OPTIONS]
 *
 * TREE lists the file system, one entry a line:
 *   d PATH        a directory
 *   f PATH SIZE   a regular file of SIZE bytes (zeros)
 *   b PATH        a directory whose listing blocks
 *   u PATH SIZE   a file whose removal blocks
 *   s PATH SIZE   a file whose getattr blocks while CONTROL/block-stat exists
 *   i             the server ignores the kernel's interrupts, as a network file system's server
 *                 does while its connection hangs: a blocked caller cannot be killed until the
 *                 call is released (otherwise a killed caller's call ends at once)
 *   w PATH        a directory in which files can be made, written, renamed and removed; while
 *                 CONTROL/fail-sync exists, an fsync or fdatasync of such a file answers EIO
 *                 (a disk or a share that reports a write error at the flush)
 * and getattr of the root blocks while CONTROL/block-root exists (the test makes it once the
 * file system is mounted).
 * PATH is relative to the root, without a leading "/". Parents come before their children.
 *
 * A blocking call first creates CONTROL/blocked-N (N counts the blocked calls from 1), then
 * waits until CONTROL/release exists, and then does what it was asked. Everything else answers
 * at once; the file system is multithreaded, so one blocked call stops no other. */
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

enum { kMaxNodes = 100000 };

struct node {
  char* path; /* "" for the root */
  int directory;
  int blocks; /* listing (directories) or removal (files) blocks */
  int stat_blocks;
  off_t size;
  int gone;
  int writable; /* a "w" directory, or a file made in one */
  char* data;   /* what was written; NULL: zeros */
};

static struct node nodes[kMaxNodes];
static int count;
static const char* control;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static int blocked;
static int ignore_interrupts;

/* 0 once released; -EINTR when the kernel interrupts the call (the caller was killed): the file
 * system answers interrupts, as servers that mean to be killable do. */
static int wait_for_release(void) {
  char path[4096];
  pthread_mutex_lock(&lock);
  const int n = ++blocked;
  pthread_mutex_unlock(&lock);
  snprintf(path, sizeof path, "%s/blocked-%d", control, n);
  close(open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  snprintf(path, sizeof path, "%s/release", control);
  while (access(path, F_OK) != 0) {
    if (!ignore_interrupts && fuse_interrupted()) return -EINTR;
    usleep(5000);
  }
  return 0;
}

static struct node* find(const char* path) {
  if (path[0] == '/') ++path;
  for (int i = 0; i < count; ++i)
    if (!nodes[i].gone && strcmp(nodes[i].path, path) == 0) return &nodes[i];
  return NULL;
}

/* Whether child is directly inside parent ("" is the root). */
static const char* child_name(const char* parent, const char* child) {
  const size_t n = strlen(parent);
  if (n == 0) return strchr(child, '/') == NULL && child[0] != 0 ? child : NULL;
  if (strncmp(parent, child, n) != 0 || child[n] != '/') return NULL;
  return strchr(child + n + 1, '/') == NULL ? child + n + 1 : NULL;
}

static int fs_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  (void)fi;
  memset(st, 0, sizeof *st);
  pthread_mutex_lock(&lock);
  struct node* node = find(path);
  pthread_mutex_unlock(&lock);
  char flag[4096];
  snprintf(flag, sizeof flag, "%s/block-root", control);
  const int block_root = node == &nodes[0] && access(flag, F_OK) == 0;
  snprintf(flag, sizeof flag, "%s/block-stat", control);
  const int block_stat = node != NULL && node->stat_blocks && access(flag, F_OK) == 0;
  if (node == NULL) return -ENOENT;
  if ((block_root || block_stat) && wait_for_release() != 0) return -EINTR;
  st->st_ino = (ino_t)(node - nodes) + 1;
  st->st_nlink = 1;
  st->st_uid = getuid();
  st->st_gid = getgid();
  if (node->directory) {
    st->st_mode = S_IFDIR | 0755;
  } else {
    st->st_mode = S_IFREG | 0644;
    st->st_size = node->size;
  }
  return 0;
}

static int fs_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)offset;
  (void)fi;
  (void)flags;
  pthread_mutex_lock(&lock);
  struct node* dir = find(path);
  const int blocks = dir != NULL && dir->blocks;
  pthread_mutex_unlock(&lock);
  if (dir == NULL || !dir->directory) return -ENOENT;
  if (blocks && wait_for_release() != 0) return -EINTR;
  fill(buffer, ".", NULL, 0, 0);
  fill(buffer, "..", NULL, 0, 0);
  pthread_mutex_lock(&lock);
  for (int i = 1; i < count; ++i) {
    const char* name = nodes[i].gone ? NULL : child_name(dir->path, nodes[i].path);
    if (name == NULL) continue;
    struct stat st;
    memset(&st, 0, sizeof st);
    st.st_ino = (ino_t)i + 1;
    st.st_mode = nodes[i].directory ? S_IFDIR : S_IFREG;
    fill(buffer, name, &st, 0, 0);
  }
  pthread_mutex_unlock(&lock);
  return 0;
}

static int fs_unlink(const char* path) {
  pthread_mutex_lock(&lock);
  struct node* node = find(path);
  const int blocks = node != NULL && node->blocks;
  pthread_mutex_unlock(&lock);
  if (node == NULL) return -ENOENT;
  if (node->directory) return -EISDIR;
  if (blocks && wait_for_release() != 0) return -EINTR;
  pthread_mutex_lock(&lock);
  node->gone = 1;
  pthread_mutex_unlock(&lock);
  return 0;
}

static int fs_open(const char* path, struct fuse_file_info* fi) {
  (void)fi;
  return find(path) != NULL ? 0 : -ENOENT;
}

static int fs_read(const char* path, char* buffer, size_t size, off_t offset,
                   struct fuse_file_info* fi) {
  (void)fi;
  pthread_mutex_lock(&lock);
  struct node* node = find(path);
  int got = -ENOENT;
  if (node != NULL) {
    if (offset >= node->size) size = 0;
    if ((off_t)size > node->size - offset) size = (size_t)(node->size - offset);
    if (node->data != NULL)
      memcpy(buffer, node->data + offset, size);
    else
      memset(buffer, 0, size);
    got = (int)size;
  }
  pthread_mutex_unlock(&lock);
  return got;
}

/* The "w" directories: files made, written, renamed there; fsync fails on demand. */
static struct node* add(const char* path, int directory, int blocks, off_t size);

static struct node* writable_parent(const char* path) {
  if (path[0] == '/') ++path;
  char parent[4096];
  snprintf(parent, sizeof parent, "%s", path);
  char* slash = strrchr(parent, '/');
  if (slash == NULL) return NULL;
  *slash = 0;
  struct node* dir = find(parent);
  return dir != NULL && dir->directory && dir->writable ? dir : NULL;
}

static int fs_create(const char* path, mode_t mode, struct fuse_file_info* fi) {
  (void)mode;
  (void)fi;
  pthread_mutex_lock(&lock);
  struct node* node = writable_parent(path) != NULL ? add(path + 1, 0, 0, 0) : NULL;
  if (node != NULL) node->writable = 1;
  pthread_mutex_unlock(&lock);
  return node != NULL ? 0 : -EACCES;
}

static int fs_write(const char* path, const char* buffer, size_t size, off_t offset,
                    struct fuse_file_info* fi) {
  (void)fi;
  pthread_mutex_lock(&lock);
  struct node* node = find(path);
  int done = -EACCES;
  if (node != NULL && node->writable && !node->directory) {
    char* data = realloc(node->data, (size_t)(offset + (off_t)size) + 1);
    if (data != NULL) {
      if (node->data == NULL) memset(data, 0, (size_t)node->size);
      if (offset > node->size) memset(data + node->size, 0, (size_t)(offset - node->size));
      memcpy(data + offset, buffer, size);
      node->data = data;
      if (offset + (off_t)size > node->size) node->size = offset + (off_t)size;
      done = (int)size;
    } else {
      done = -ENOSPC;
    }
  }
  pthread_mutex_unlock(&lock);
  return done;
}

static int fs_chmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
  (void)mode;
  (void)fi;
  return find(path) != NULL ? 0 : -ENOENT;
}

static int fs_rename(const char* from, const char* to, unsigned int flags) {
  pthread_mutex_lock(&lock);
  struct node* node = find(from);
  struct node* there = find(to);
  int result = 0;
  if (node == NULL) {
    result = -ENOENT;
  } else if (!node->writable || node->directory || writable_parent(to) == NULL) {
    result = -EACCES;
  } else if (there != NULL && ((flags & RENAME_NOREPLACE) != 0 || there->directory)) {
    result = there->directory ? -EISDIR : -EEXIST;
  } else if ((flags & ~RENAME_NOREPLACE) != 0) {
    result = -EINVAL;
  } else {
    if (there != NULL) there->gone = 1;
    free(node->path);
    node->path = strdup(to + 1);
  }
  pthread_mutex_unlock(&lock);
  return result;
}

static int fs_fsync(const char* path, int datasync, struct fuse_file_info* fi) {
  (void)datasync;
  (void)fi;
  char flag[4096];
  snprintf(flag, sizeof flag, "%s/fail-sync", control);
  pthread_mutex_lock(&lock);
  const int exists = find(path) != NULL;
  pthread_mutex_unlock(&lock);
  if (!exists) return -ENOENT;
  return access(flag, F_OK) == 0 ? -EIO : 0;
}

static void* fs_init(struct fuse_conn_info* conn, struct fuse_config* config) {
  (void)conn;
  /* Nothing cached: every call of the program reaches this file system. */
  config->entry_timeout = 0;
  config->attr_timeout = 0;
  config->negative_timeout = 0;
  config->use_ino = 1;
  /* A call whose caller is killed is interrupted: fuse_interrupted() then tells the handler,
   * which the library wakes with its interrupt signal (caught by main: not the end of the
   * server). Without interrupts the kernel waits for the call, whatever happens to its caller. */
  config->intr = !ignore_interrupts;
  config->intr_signal = SIGUSR1;
  return NULL;
}

static void on_interrupt_signal(int signal) {
  (void)signal;
}

static struct node* add(const char* path, int directory, int blocks, off_t size) {
  if (count >= kMaxNodes) return NULL;
  nodes[count].path = strdup(path);
  nodes[count].directory = directory;
  nodes[count].blocks = blocks;
  nodes[count].size = size;
  return &nodes[count++];
}

static int load(const char* tree) {
  FILE* file = fopen(tree, "r");
  if (file == NULL) return -1;
  add("", 1, 0, 0);
  char line[4096];
  while (fgets(line, sizeof line, file) != NULL) {
    line[strcspn(line, "\n")] = 0;
    char path[4096];
    long long size = 0;
    if (strcmp(line, "i") == 0) {
      ignore_interrupts = 1;
    } else if (sscanf(line, "d %4095s", path) == 1) {
      add(path, 1, 0, 0);
    } else if (sscanf(line, "b %4095s", path) == 1) {
      add(path, 1, 1, 0);
    } else if (sscanf(line, "f %4095s %lld", path, &size) == 2) {
      add(path, 0, 0, (off_t)size);
    } else if (sscanf(line, "u %4095s %lld", path, &size) == 2) {
      add(path, 0, 1, (off_t)size);
    } else if (sscanf(line, "s %4095s %lld", path, &size) == 2) {
      add(path, 0, 0, (off_t)size);
      nodes[count - 1].stat_blocks = 1;
    } else if (sscanf(line, "w %4095s", path) == 1) {
      add(path, 1, 0, 0)->writable = 1;
    }
  }
  fclose(file);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: blockfs TREE CONTROL MOUNTPOINT [FUSE OPTIONS]\n");
    return 2;
  }
  if (load(argv[1]) != 0) {
    perror(argv[1]);
    return 1;
  }
  control = argv[2];
  struct sigaction woken;
  memset(&woken, 0, sizeof woken);
  woken.sa_handler = on_interrupt_signal;
  sigaction(SIGUSR1, &woken, NULL);
  static const struct fuse_operations operations = {
      .getattr = fs_getattr,
      .readdir = fs_readdir,
      .unlink = fs_unlink,
      .open = fs_open,
      .read = fs_read,
      .create = fs_create,
      .write = fs_write,
      .chmod = fs_chmod,
      .rename = fs_rename,
      .fsync = fs_fsync,
      .init = fs_init,
  };
  /* blockfs MOUNTPOINT -f [options]: in the foreground, so that the test owns the process. */
  char* args[64];
  int n = 0;
  args[n++] = argv[0];
  args[n++] = argv[3];
  args[n++] = "-f";
  for (int i = 4; i < argc && n < 63; ++i) args[n++] = argv[i];
  args[n] = NULL;
  return fuse_main(n, args, &operations, NULL);
}
