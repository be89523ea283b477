// bexo-z0-bind: binds the firmware upgrade's UDP sockets on the ports below 1024 for a program that
// runs without privileges, hands them over the inherited Unix socket and exits. It is installed
// root:bexo-z0, mode 0750, with the one file capability cap_net_bind_service, so only the members
// of that group may run it; everything else is dropped at once, the capability itself as soon as
// the sockets are bound. See upgrade/UpgradeBind.h for the command line and the answer.

#include "upgrade/UpgradeBind.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const char Usage[] = "usage: bexo-z0-bind FD ADDRESS BINDING...\n"
                     "  FD       an inherited, connected Unix socket that receives the bound sockets\n"
                     "  ADDRESS  an IPv4 address of this machine\n"
                     "  BINDING  9, 67, 69, 40300 (on ADDRESS) or broadcast:67; each at most once\n";

// Keeps at most CAP_NET_BIND_SERVICE (keep) or nothing (!keep) in every set of this process.
bool limitCapabilities(bool keep)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const uint32_t bit = 1u << CAP_NET_BIND_SERVICE; // in the first word
    const uint32_t mine = keep ? data[0].permitted & bit : 0;
    for (auto &d : data)
        d.effective = d.permitted = d.inheritable = 0;
    data[0].effective = data[0].permitted = mine;
    return ::syscall(SYS_capset, &header, data) == 0;
}

void closeStrayDescriptors(int keep)
{
    // 0, 1 and 2 stay; the caller may want our refusals on its stderr.
    bool done = (keep == 3 || ::close_range(3, unsigned(keep) - 1, 0) == 0) &&
                ::close_range(unsigned(keep) + 1, ~0u, 0) == 0;
    if (!done) { // a kernel without close_range
        const long max = ::sysconf(_SC_OPEN_MAX);
        for (long fd = 3; fd < (max > 0 ? max : 1024); ++fd)
            if (fd != keep)
                (void)::close(int(fd));
    }
}

// 0, 1 and 2 open, so that no socket of ours can land on them.
void fillStandardDescriptors()
{
    for (int fd = 0; fd < 3; ++fd)
        if (::fcntl(fd, F_GETFD) < 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null < 0)
                _exit(2);
            if (null != fd) // lower numbers are taken, so it is fd or a sign of something odd
                _exit(2);
        }
}

bool isUnixSocket(int fd)
{
    int domain = 0;
    socklen_t len = sizeof domain;
    return ::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &len) == 0 && domain == AF_UNIX;
}

bool sendText(int fd, const char *text, const int *fds = nullptr, int count = 0)
{
    iovec iov{const_cast<char *>(text), strlen(text)};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * UpHelperMaxBindings)]{};
    if (count > 0) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(sizeof(int) * size_t(count));
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * size_t(count));
        memcpy(CMSG_DATA(c), fds, sizeof(int) * size_t(count));
    }
    ssize_t sent;
    do
        sent = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(iov.iov_len);
}

// A refusal: on stderr for a person, over the socket for the program when there is one.
int refuse(const char *why, int fd)
{
    fprintf(stderr, "bexo-z0-bind: %s\n%s", why, Usage);
    if (fd >= 0) {
        char text[128];
        snprintf(text, sizeof text, "refused %s", why);
        (void)sendText(fd, text);
    }
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (!limitCapabilities(true) || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return refuse("cannot drop capabilities", -1);
    (void)::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);

    TUpHelperArgs args;
    if (const char *why = UpParseHelperArgs(argc - 1, argv + 1, args))
        return refuse(why, -1);
    closeStrayDescriptors(args.Fd);
    fillStandardDescriptors();
    if (!isUnixSocket(args.Fd))
        return refuse("FD is not an inherited Unix socket", -1);

    char device[IF_NAMESIZE] = {};
    if (!UpInterfaceOf(args.Address, device))
        return refuse("ADDRESS is not an address of this machine", args.Fd);

    int fds[UpHelperMaxBindings];
    for (int i = 0; i < args.Count; ++i) {
        const TUpBindRequest &b = args.Bindings[i];
        in_addr at = args.Address;
        if (b.Broadcast)
            at.s_addr = htonl(INADDR_BROADCAST);
        int err = 0;
        // The broadcast receiver hears only the interface that carries ADDRESS, or it is not made.
        fds[i] = UpBindUdp(at, b.Port, b.Broadcast ? device : nullptr, err, true);
        if (fds[i] < 0) {
            char text[32];
            snprintf(text, sizeof text, "error %d %d", i, err > 0 && err < 10000 ? err : EIO);
            (void)sendText(args.Fd, text);
            return 1;
        }
    }
    if (!limitCapabilities(false))
        return 1;
    char text[16];
    snprintf(text, sizeof text, "ok %d", args.Count);
    return sendText(args.Fd, text, fds, args.Count) ? 0 : 1;
}
