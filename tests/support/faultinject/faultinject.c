/* Loaded with LD_PRELOAD, makes the C library's file calls behave as on filesystems that the test
 * machine does not have. Each behaviour is switched on by its environment variable:
 *   FAULT_NOREPLACE_EINVAL  renameat2 with flags answers EINVAL (NFS, some FUSE mounts)
 *   FAULT_LINK_EPERM        link and linkat answer EPERM (FAT)
 *   FAULT_UNLINK=lost       unlink and unlinkat remove the name, then answer ENOENT (a lost NFS reply)
 *   FAULT_UNLINK_REFUSE=<path>  unlink of exactly that path answers EBUSY without removing it
 *   FAULT_INTRUDER=<log>    just before a plain rename (or renameat), another program creates the target name
 *                           exclusively and writes into it; each success is logged to <log>
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int switched(const char *name)
{
    const char *value = getenv(name);
    return value != NULL && *value != '\0';
}

static int unlinkLost(void)
{
    const char *value = getenv("FAULT_UNLINK");
    return value != NULL && strcmp(value, "lost") == 0;
}

static int unlinkRefused(const char *path)
{
    const char *value = getenv("FAULT_UNLINK_REFUSE");
    return value != NULL && strcmp(value, path) == 0;
}

int renameat2(int olddirfd, const char *oldpath, int newdirfd, const char *newpath, unsigned int flags)
{
    static int (*real)(int, const char *, int, const char *, unsigned int);
    if (flags != 0 && switched("FAULT_NOREPLACE_EINVAL")) {
        errno = EINVAL;
        return -1;
    }
    if (!real)
        real = (int (*)(int, const char *, int, const char *, unsigned int))dlsym(RTLD_NEXT, "renameat2");
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

/* Another program that takes the target name of a plain rename just before it. */
static void intrude(int newdirfd, const char *newpath)
{
    const char *log = getenv("FAULT_INTRUDER");
    if (log == NULL || *log == '\0')
        return;
    const int fd = openat(newdirfd, newpath, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return;
    const char text[] = "intruder";
    if (write(fd, text, sizeof text - 1) < 0)
        perror("faultinject");
    close(fd);
    FILE *out = fopen(log, "a");
    if (out) {
        fprintf(out, "%s\n", newpath);
        fclose(out);
    }
}

int rename(const char *oldpath, const char *newpath)
{
    static int (*real)(const char *, const char *);
    intrude(AT_FDCWD, newpath);
    if (!real)
        real = (int (*)(const char *, const char *))dlsym(RTLD_NEXT, "rename");
    return real(oldpath, newpath);
}

int renameat(int olddirfd, const char *oldpath, int newdirfd, const char *newpath)
{
    static int (*real)(int, const char *, int, const char *);
    intrude(newdirfd, newpath);
    if (!real)
        real = (int (*)(int, const char *, int, const char *))dlsym(RTLD_NEXT, "renameat");
    return real(olddirfd, oldpath, newdirfd, newpath);
}

int link(const char *oldpath, const char *newpath)
{
    static int (*real)(const char *, const char *);
    if (switched("FAULT_LINK_EPERM")) {
        errno = EPERM;
        return -1;
    }
    if (!real)
        real = (int (*)(const char *, const char *))dlsym(RTLD_NEXT, "link");
    return real(oldpath, newpath);
}

int linkat(int olddirfd, const char *oldpath, int newdirfd, const char *newpath, int flags)
{
    static int (*real)(int, const char *, int, const char *, int);
    if (switched("FAULT_LINK_EPERM")) {
        errno = EPERM;
        return -1;
    }
    if (!real)
        real = (int (*)(int, const char *, int, const char *, int))dlsym(RTLD_NEXT, "linkat");
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

int unlink(const char *path)
{
    static int (*real)(const char *);
    if (!real)
        real = (int (*)(const char *))dlsym(RTLD_NEXT, "unlink");
    if (unlinkRefused(path)) {
        errno = EBUSY;
        return -1;
    }
    const int result = real(path);
    if (result == 0 && unlinkLost()) {
        errno = ENOENT;
        return -1;
    }
    return result;
}

int unlinkat(int dirfd, const char *path, int flags)
{
    static int (*real)(int, const char *, int);
    if (!real)
        real = (int (*)(int, const char *, int))dlsym(RTLD_NEXT, "unlinkat");
    if (unlinkRefused(path)) {
        errno = EBUSY;
        return -1;
    }
    const int result = real(dirfd, path, flags);
    if (result == 0 && unlinkLost()) {
        errno = ENOENT;
        return -1;
    }
    return result;
}
