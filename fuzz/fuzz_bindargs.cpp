// The binding helper's command line comes from whoever runs it, and its answer is read by the
// program. Input: NUL-separated arguments, parsed as the helper's command line and, whole, as an
// answer. No fault; what is accepted is one of the upgrade's bindings and reads back the same.
#include "upgrade/UpgradeBind.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    TUpHelperReply reply;
    if (UpParseHelperReply(text, size, reply)) {
        if (reply.Answer == TUpHelperAnswer::Ok && (reply.Count < 1 || reply.Count > UpHelperMaxBindings))
            __builtin_trap();
        if (reply.Answer == TUpHelperAnswer::Error && (reply.Index < 0 || reply.Index >= UpHelperMaxBindings))
            __builtin_trap();
        if (strlen(reply.Text) >= sizeof reply.Text)
            __builtin_trap();
    }

    std::vector<std::string> words(1);
    for (size_t i = 0; i < size && words.size() <= 12; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back() += text[i];
    }
    std::vector<const char *> argv;
    for (const std::string &w : words)
        argv.push_back(w.c_str());
    TUpHelperArgs args;
    if (UpParseHelperArgs(int(argv.size()), argv.data(), args) != nullptr)
        return 0;
    if (args.Fd < 3 || args.Count < 1 || args.Count > UpHelperMaxBindings)
        __builtin_trap();
    for (int i = 0; i < args.Count; ++i) {
        if (!UpHelperMayBind(args.Bindings[i]))
            __builtin_trap();
        char again[16];
        UpFormatBinding(args.Bindings[i], again);
        if (strcmp(again, argv[size_t(2 + i)]) != 0)
            __builtin_trap();
    }
    return 0;
}
