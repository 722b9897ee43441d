// The AppImage runtime: the ELF program at the front of ZorvaManager's AppImage. It mounts the
// squashfs image that follows it through FUSE (read-only, in a private folder under $TMPDIR),
// runs AppRun from the mount with APPIMAGE, APPDIR, OWD and ARGV0 set, and when the program
// has ended unmounts, removes the folder and exits with the program's status. Where FUSE cannot
// be used it extracts the image into a private folder instead and runs from there.
//
// Processes: this one (the runtime) waits for the program, a child of its own, and forwards
// SIGINT, SIGTERM, SIGHUP and SIGQUIT that other processes send it; a second child serves the
// mount until it is told to stop, or until the runtime is gone.

#include "Extract.h"
#include "Image.h"
#include "Options.h"

#include <squashfuse/ll.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#ifndef RUNTIME_VERSION
#    define RUNTIME_VERSION "unknown"
#endif

static char appImagePath[PATH_MAX];

// One line on stderr: the text, ": " and the AppImage's path.
static void report (const char* format, ...)
{
    char text[PATH_MAX + 512];
    va_list arguments;
    va_start (arguments, format);
    vsnprintf (text, sizeof text, format, arguments);
    va_end (arguments);
    fprintf (stderr, "%s: %s\n", text, appImagePath);
}

// ---------------------------------------------------------------------------------------------
// Signals sent to the runtime while the program runs.

static volatile pid_t programPid = 0;
static volatile sig_atomic_t pendingSignal = 0;

static void forwardSignal (int number, siginfo_t* info, void* context)
{
    (void) context;
    // A signal from the terminal (Ctrl+C) already reaches the program through its process
    // group; only those sent by another process are passed on.
    const int fromProcess = info == 0 || info->si_code <= 0;
    if (programPid > 0)
    {
        if (fromProcess)
            kill (programPid, number);
    }
    else
        pendingSignal = number;
}

static const int forwardedSignals[] = { SIGINT, SIGTERM, SIGHUP, SIGQUIT };

static void catchSignals (void)
{
    struct sigaction action;
    memset (&action, 0, sizeof action);
    action.sa_sigaction = forwardSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset (&action.sa_mask);
    for (size_t i = 0; i < sizeof forwardedSignals / sizeof forwardedSignals[0]; ++i)
        sigaction (forwardedSignals[i], &action, 0);
}

static void restoreSignals (void)
{
    for (size_t i = 0; i < sizeof forwardedSignals / sizeof forwardedSignals[0]; ++i)
        signal (forwardedSignals[i], SIG_DFL);
    signal (SIGUSR1, SIG_DFL);
    sigset_t none;
    sigemptyset (&none);
    sigprocmask (SIG_SETMASK, &none, 0);
}

static int statusOf (int waitStatus)
{
    if (WIFSIGNALED (waitStatus))
        return 128 + WTERMSIG (waitStatus);
    return WIFEXITED (waitStatus) ? WEXITSTATUS (waitStatus) : 1;
}

static int waitFor (pid_t pid)
{
    int waitStatus = 0;
    while (waitpid (pid, &waitStatus, 0) < 0)
        if (errno != EINTR)
            return 1;
    return statusOf (waitStatus);
}

// ---------------------------------------------------------------------------------------------
// Running the program from a folder that holds the AppImage's contents.

static int runProgram (const char* appDir, int argc, char** argv, int firstArgument)
{
    char appRun[PATH_MAX];
    if (snprintf (appRun, sizeof appRun, "%s/AppRun", appDir) >= (int) sizeof appRun)
        return report ("the AppImage's folder name is too long"), 1;

    char workingDirectory[PATH_MAX];
    if (getcwd (workingDirectory, sizeof workingDirectory) == 0)
        workingDirectory[0] = '\0';

    sigset_t all, previous;
    sigfillset (&all);
    sigprocmask (SIG_BLOCK, &all, &previous);
    const pid_t pid = fork();
    if (pid == 0)
    {
        restoreSignals();
        setenv ("APPIMAGE", appImagePath, 1);
        setenv ("APPDIR", appDir, 1);
        setenv ("OWD", workingDirectory, 1);
        setenv ("ARGV0", argv[0], 1);

        char** arguments = calloc ((size_t) (argc - firstArgument + 2), sizeof *arguments);
        if (arguments == 0)
            _exit (127);
        arguments[0] = appRun;
        for (int i = firstArgument; i < argc; ++i)
            arguments[i - firstArgument + 1] = argv[i];
        execv (appRun, arguments);
        report ("cannot start the program in the AppImage (%s)", strerror (errno));
        _exit (127);
    }
    if (pid < 0)
    {
        sigprocmask (SIG_SETMASK, &previous, 0);
        return report ("cannot start the program in the AppImage (%s)", strerror (errno)), 1;
    }
    programPid = pid;
    const int pending = pendingSignal;
    sigprocmask (SIG_SETMASK, &previous, 0);
    if (pending != 0)
        kill (pid, pending);
    return waitFor (pid);
}

// ---------------------------------------------------------------------------------------------
// Private folders under $TMPDIR.

static const char* temporaryDirectory (void)
{
    const char* folder = getenv ("TMPDIR");
    return folder != 0 && folder[0] == '/' ? folder : "/tmp";
}

// KIND followed by up to eight characters of the AppImage's name and six random ones.
static int makePrivateFolder (char* folder, size_t size, const char* kind)
{
    const char* name = strrchr (appImagePath, '/');
    name = name != 0 ? name + 1 : appImagePath;
    char prefix[9];
    size_t length = 0;
    for (; name[length] != '\0' && length < 8; ++length)
    {
        const char c = name[length];
        const int plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        prefix[length] = plain ? c : '_';
    }
    prefix[length] = '\0';
    if (snprintf (folder, size, "%s/%s%sXXXXXX", temporaryDirectory(), kind, prefix) >= (int) size)
        return -1;
    return mkdtemp (folder) != 0 ? 0 : -1;
}

// ---------------------------------------------------------------------------------------------
// Extract and run.

static int extractAndRun (Image* image, int argc, char** argv, int firstArgument)
{
    char folder[PATH_MAX];
    if (makePrivateFolder (folder, sizeof folder, ".extract_") != 0)
    {
        report ("cannot make a folder to extract the AppImage into under %s (%s)", temporaryDirectory(), strerror (errno));
        return 1;
    }

    char error[PATH_MAX + 256];
    int status = 1;
    if (extractImage (image, folder, 0, 0, error, sizeof error) != 0)
        report ("cannot extract the AppImage: %s", error);
    else if (pendingSignal != 0)
        status = 128 + pendingSignal;
    else
    {
        closeImage (image);
        status = runProgram (folder, argc, argv, firstArgument);
    }

    closeImage (image);
    if (removeTree (folder) != 0)
        report ("cannot remove the extracted copy %s", folder);
    return status;
}

// ---------------------------------------------------------------------------------------------
// The mount and the process that serves it.

static struct fuse_session* servedSession = 0;
static char fuseMessage[512];

static void stopServing (int number)
{
    (void) number;
    if (servedSession != 0)
        fuse_session_exit (servedSession);
}

static void keepFuseMessage (enum fuse_log_level level, const char* format, va_list arguments)
{
    (void) level;
    vsnprintf (fuseMessage, sizeof fuseMessage, format, arguments);
    fuseMessage[strcspn (fuseMessage, "\n")] = '\0';
}

// Larger reads from the kernel: fewer round trips through this single-threaded server while
// a program maps its libraries.
static void initialiseConnection (void* userData, struct fuse_conn_info* connection)
{
    (void) userData;
    connection->max_readahead = 1024 * 1024;
    connection->max_write = 1024 * 1024; // also sets the kernel's largest request, reads included
}

// The serving child: mounts, says "ok" (or why not) on REPORT, serves until told to stop.
static void serveMount (Image* image, const char* mountPoint, int report, pid_t runtime)
{
    // SIGUSR1 ends the serving; so does the runtime's end.
    struct sigaction action;
    memset (&action, 0, sizeof action);
    action.sa_handler = stopServing; // no SA_RESTART: the read from /dev/fuse must return
    sigemptyset (&action.sa_mask);
    sigaction (SIGUSR1, &action, 0);
    prctl (PR_SET_PDEATHSIG, SIGUSR1);
    for (size_t i = 0; i < sizeof forwardedSignals / sizeof forwardedSignals[0]; ++i)
        signal (forwardedSignals[i], SIG_IGN);
    sigset_t none;
    sigemptyset (&none);
    sigprocmask (SIG_SETMASK, &none, 0);
    if (getppid() != runtime)
        _exit (1);

    // Nothing of this process goes to the caller's terminal or pipes; fusermount3's own
    // complaints included. The reason for a failed mount travels on REPORT.
    const int null = open ("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0)
    {
        dup2 (null, 0);
        dup2 (null, 1);
        dup2 (null, 2);
        close (null);
    }
    fuse_set_log_func (keepFuseMessage);

    sqfs_ll* ll = calloc (1, sizeof *ll);
    if (ll == 0)
        _exit (1);
    ll->fs = image->fs;
    if (sqfs_ll_init (ll) != SQFS_OK)
    {
        dprintf (report, "cannot read the file system");
        _exit (1);
    }

    struct fuse_lowlevel_ops operations;
    memset (&operations, 0, sizeof operations);
    operations.init = initialiseConnection;
    operations.getattr = sqfs_ll_op_getattr;
    operations.opendir = sqfs_ll_op_opendir;
    operations.releasedir = sqfs_ll_op_releasedir;
    operations.readdir = sqfs_ll_op_readdir;
    operations.lookup = sqfs_ll_op_lookup;
    operations.open = sqfs_ll_op_open;
    operations.create = sqfs_ll_op_create;
    operations.release = sqfs_ll_op_release;
    operations.read = sqfs_ll_op_read;
    operations.readlink = sqfs_ll_op_readlink;
    operations.listxattr = sqfs_ll_op_listxattr;
    operations.getxattr = sqfs_ll_op_getxattr;
    operations.forget = sqfs_ll_op_forget;
    operations.statfs = stfs_ll_op_statfs;

    char* arguments[] = { (char*) "appimage-runtime", (char*) "-o", (char*) "ro,nosuid,nodev", 0 };
    struct fuse_args fuseArguments = FUSE_ARGS_INIT (3, arguments);
    sqfs_ll_chan channel;
    if (sqfs_ll_mount (&channel, mountPoint, &fuseArguments, &operations, sizeof operations, ll) != SQFS_OK)
    {
        dprintf (report, "%s", fuseMessage[0] != '\0' ? fuseMessage : "the mount was refused");
        _exit (1);
    }

    servedSession = channel.session;
    if (write (report, "ok", 2) != 2 || getppid() != runtime)
    {
        sqfs_ll_unmount (&channel, mountPoint);
        _exit (1);
    }
    close (report);

    fuse_session_loop (channel.session);
    sqfs_ll_unmount (&channel, mountPoint);
    _exit (0);
}

static void unmount (const char* mountPoint)
{
    if (umount2 (mountPoint, MNT_DETACH) == 0 || errno == EINVAL)
        return;
    // Not allowed to unmount directly: the set-user-ID helper that mounted it does.
    const pid_t pid = fork();
    if (pid == 0)
    {
        restoreSignals();
        const int null = open ("/dev/null", O_RDWR);
        if (null >= 0)
            dup2 (null, 1), dup2 (null, 2);
        execlp ("fusermount3", "fusermount3", "-u", "-z", "-q", mountPoint, (char*) 0);
        _exit (127);
    }
    if (pid > 0)
        waitFor (pid);
}

static void stopServer (pid_t server)
{
    kill (server, SIGUSR1);
    // The server ends at once; should it hang on a connection the kernel keeps open for a
    // process that still uses the mount, it is not waited for beyond a few seconds.
    for (int tries = 0; tries < 100; ++tries)
    {
        int waitStatus;
        const pid_t done = waitpid (server, &waitStatus, WNOHANG);
        if (done == server || (done < 0 && errno != EINTR))
            return;
        const struct timespec pause = { 0, 50 * 1000 * 1000 };
        nanosleep (&pause, 0);
    }
    kill (server, SIGKILL);
    waitFor (server);
}

// Returns the program's status, or -1 with WHY filled when the mount could not be made.
static int mountAndRun (Image* image, int argc, char** argv, int firstArgument, char* why, size_t whySize)
{
    if (access ("/dev/fuse", R_OK | W_OK) != 0)
    {
        snprintf (why, whySize, "no usable /dev/fuse");
        return -1;
    }

    char mountPoint[PATH_MAX];
    if (makePrivateFolder (mountPoint, sizeof mountPoint, ".mount_") != 0)
    {
        snprintf (why, whySize, "cannot make a mount folder under %s: %s", temporaryDirectory(), strerror (errno));
        return -1;
    }

    int channel[2];
    if (pipe2 (channel, O_CLOEXEC) != 0)
    {
        snprintf (why, whySize, "%s", strerror (errno));
        rmdir (mountPoint);
        return -1;
    }

    const pid_t runtime = getpid();
    const pid_t server = fork();
    if (server == 0)
    {
        close (channel[0]);
        serveMount (image, mountPoint, channel[1], runtime);
    }
    close (channel[1]);
    if (server < 0)
    {
        snprintf (why, whySize, "%s", strerror (errno));
        close (channel[0]);
        rmdir (mountPoint);
        return -1;
    }

    char answer[512] = { 0 };
    size_t got = 0;
    for (ssize_t n; got < sizeof answer - 1 && (n = read (channel[0], answer + got, sizeof answer - 1 - got)) != 0;)
    {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        got += (size_t) n;
    }
    close (channel[0]);

    if (strcmp (answer, "ok") != 0)
    {
        snprintf (why, whySize, "%s", answer[0] != '\0' ? answer : "the mount helper ended");
        waitFor (server);
        rmdir (mountPoint);
        return -1;
    }

    closeImage (image); // the server has its own copy of the descriptor
    const int status = pendingSignal != 0 ? 128 + pendingSignal : runProgram (mountPoint, argc, argv, firstArgument);

    unmount (mountPoint);
    stopServer (server);
    if (rmdir (mountPoint) != 0)
        report ("cannot remove the mount folder %s (%s)", mountPoint, strerror (errno));
    return status;
}

// ---------------------------------------------------------------------------------------------

int main (int argc, char** argv)
{
    const ssize_t length = readlink ("/proc/self/exe", appImagePath, sizeof appImagePath - 1);
    if (length <= 0)
    {
        fprintf (stderr, "cannot find the AppImage's own file (is /proc mounted?)\n");
        return 1;
    }
    appImagePath[length] = '\0';

    const RuntimeOptions options = parseRuntimeOptions (argc, argv, getenv ("APPIMAGE_EXTRACT_AND_RUN"));
    char error[PATH_MAX + 256];

    switch (options.action)
    {
        case RuntimeBadOption:
            fprintf (stderr, "unknown or misused AppImage option (see --appimage-help): %s\n", options.badOption);
            return 2;
        case RuntimeHelp:
            fputs (runtimeHelpText, stdout);
            return 0;
        case RuntimeVersion:
            printf ("ZorvaManager AppImage runtime %s\n", RUNTIME_VERSION);
            return 0;
        case RuntimeOffset:
        {
            uint64_t offset = 0;
            if (findImageOffset (appImagePath, &offset, error, sizeof error) != 0)
                return report ("%s", error), 1;
            printf ("%llu\n", (unsigned long long) offset);
            return 0;
        }
        default:
            break;
    }

    Image image;
    if (openImage (&image, appImagePath, error, sizeof error) != 0)
        return report ("%s", error), 1;

    if (options.action == RuntimeExtract)
    {
        const int result = extractImage (&image, "squashfs-root", options.pattern, 1, error, sizeof error);
        closeImage (&image);
        if (result != 0)
            return report ("cannot extract the AppImage: %s", error), 1;
        return 0;
    }

    catchSignals();
    if (options.action == RuntimeRun)
    {
        char why[600];
        const int status = mountAndRun (&image, argc, argv, options.firstProgramArgument, why, sizeof why);
        if (status >= 0)
            return status;
        report ("cannot mount the AppImage (%s), running it from an extracted copy instead", why);
    }
    return extractAndRun (&image, argc, argv, options.firstProgramArgument);
}
