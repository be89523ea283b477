#include "upgrade/UpgradeBind.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t MaxArgLen = 32;

struct TNamedBinding {
    const char *Text;
    TUpBindRequest Request;
};
constexpr TNamedBinding HelperBindings[] = {
    {"9", {9, false}},   {"67", {67, false}}, {"69", {69, false}}, {"40300", {40300, false}},
    {"broadcast:67", {67, true}},
};

bool sameRequest(const TUpBindRequest &a, const TUpBindRequest &b) { return a.Port == b.Port && a.Broadcast == b.Broadcast; }

// Decimal digits only, no sign, no leading zero, at most maxDigits.
bool readNumber(const char *text, size_t maxDigits, long &value)
{
    const size_t n = strnlen(text, maxDigits + 1);
    if (n == 0 || n > maxDigits || (text[0] == '0' && n > 1))
        return false;
    value = 0;
    for (size_t i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// Like readNumber, but the number ends at the next blank or the end of [p, end).
bool takeNumber(const char *&p, const char *end, size_t maxDigits, long &value)
{
    const char *start = p;
    while (p < end && *p != ' ')
        ++p;
    char buf[16];
    const size_t n = size_t(p - start);
    if (n == 0 || n >= sizeof buf)
        return false;
    memcpy(buf, start, n);
    buf[n] = '\0';
    return readNumber(buf, maxDigits, value);
}

bool startsWith(const char *data, size_t size, const char *word)
{
    const size_t n = strlen(word);
    return size >= n && memcmp(data, word, n) == 0;
}

} // namespace

bool UpHelperMayBind(const TUpBindRequest &req)
{
    for (const TNamedBinding &b : HelperBindings)
        if (sameRequest(b.Request, req))
            return true;
    return false;
}

int UpBindUdp(in_addr addr, uint16_t port, const char *device, int &err, bool mustTie)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    const int one = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
#ifdef SO_BINDTODEVICE
    // Without it the receiver also hears broadcasts of other interfaces.
    if (device && *device && ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, device, socklen_t(strlen(device))) != 0 &&
        mustTie) {
        err = errno;
        ::close(fd);
        return -1;
    }
#else
    if (device && *device && mustTie) {
        err = ENOPROTOOPT;
        ::close(fd);
        return -1;
    }
#endif
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = addr;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0) {
        err = errno;
        ::close(fd);
        return -1;
    }
    err = 0;
    return fd;
}

uint16_t UpBoundPort(int fd)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    return ntohs(sa.sin_port);
}

bool UpInterfaceOf(in_addr addr, char (&name)[IF_NAMESIZE])
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (const ifaddrs *i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_name)
            continue;
        if (reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr != addr.s_addr)
            continue;
        // An address with a label ("eth0:1") lives on the interface named before the colon;
        // interface names never contain one.
        size_t n = strcspn(i->ifa_name, ":");
        if (n == 0 || n >= IF_NAMESIZE)
            continue;
        memcpy(name, i->ifa_name, n);
        name[n] = '\0';
        found = true;
    }
    ::freeifaddrs(list);
    return found;
}

const char *UpParseHelperArgs(int argc, const char *const *argv, TUpHelperArgs &out)
{
    out = TUpHelperArgs{};
    if (argc < 3)
        return "too few arguments";
    if (argc > 2 + UpHelperMaxBindings)
        return "too many arguments";
    for (int i = 0; i < argc; ++i)
        if (!argv[i] || strnlen(argv[i], MaxArgLen + 1) > MaxArgLen)
            return "an argument is too long";

    long fd = 0;
    if (!readNumber(argv[0], 5, fd) || fd < 3 || fd > 65535)
        return "FD must be a descriptor number of 3 or above";
    out.Fd = int(fd);

    const char *address = argv[1];
    for (const char *p = address; *p; ++p)
        if ((*p < '0' || *p > '9') && *p != '.')
            return "ADDRESS must be an IPv4 address in dotted decimal";
    if (::inet_pton(AF_INET, address, &out.Address) != 1)
        return "ADDRESS must be an IPv4 address in dotted decimal";
    const uint32_t host = ntohl(out.Address.s_addr);
    if ((host >> 24) == 0 || (host >> 28) >= 0xE)
        return "ADDRESS must be a unicast address";

    for (int i = 2; i < argc; ++i) {
        const TNamedBinding *named = nullptr;
        for (const TNamedBinding &b : HelperBindings)
            if (strcmp(argv[i], b.Text) == 0)
                named = &b;
        if (!named)
            return "a BINDING is none of 9, 67, 69, 40300, broadcast:67";
        for (int j = 0; j < out.Count; ++j)
            if (sameRequest(out.Bindings[j], named->Request))
                return "a BINDING is named twice";
        out.Bindings[out.Count++] = named->Request;
    }
    return nullptr;
}

void UpFormatBinding(const TUpBindRequest &req, char (&text)[16])
{
    const char *prefix = req.Broadcast ? "broadcast:" : "";
    const size_t n = strlen(prefix);
    memcpy(text, prefix, n);
    char digits[6];
    int d = 0;
    unsigned v = req.Port;
    do {
        digits[d++] = char('0' + v % 10);
        v /= 10;
    } while (v && d < 5);
    size_t at = n;
    while (d > 0)
        text[at++] = digits[--d];
    text[at] = '\0';
}

bool UpParseHelperReply(const char *data, size_t size, TUpHelperReply &out)
{
    out = TUpHelperReply{};
    if (!data || size == 0 || size > 160)
        return false;
    const char *end = data + size;
    long a = 0, b = 0;
    if (startsWith(data, size, "ok ")) {
        const char *p = data + 3;
        if (!takeNumber(p, end, 1, a) || p != end || a < 1 || a > UpHelperMaxBindings)
            return false;
        out.Answer = TUpHelperAnswer::Ok;
        out.Count = int(a);
        return true;
    }
    if (startsWith(data, size, "error ")) {
        const char *p = data + 6;
        if (!takeNumber(p, end, 1, a) || p == end || *p++ != ' ' || !takeNumber(p, end, 4, b) || p != end ||
            a >= UpHelperMaxBindings || b < 1)
            return false;
        out.Answer = TUpHelperAnswer::Error;
        out.Index = int(a);
        out.Errno = int(b);
        return true;
    }
    if (startsWith(data, size, "refused ")) {
        const size_t n = size - 8;
        if (n == 0 || n >= sizeof out.Text)
            return false;
        for (size_t i = 0; i < n; ++i)
            if (data[8 + i] < 0x20 || data[8 + i] > 0x7E)
                return false;
        memcpy(out.Text, data + 8, n);
        out.Text[n] = '\0';
        out.Answer = TUpHelperAnswer::Refused;
        return true;
    }
    return false;
}
