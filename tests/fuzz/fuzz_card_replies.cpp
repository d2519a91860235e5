// A count, list or info reply through every cutter. Cut values go into heap
// buffers of their exact size, so that a byte written past one is caught;
// each must be NUL-terminated inside it and be text of the reply.

#include "cardfilename.h"
#include "cardreplies.h"
#include "fuzzcheck.h"

#include <memory>

using namespace CardReplies;

namespace {

void checkValue(const std::string& reply, const char* value, int size)
{
    const std::size_t length = strnlen(value, static_cast<std::size_t>(size));
    check(length < static_cast<std::size_t>(size));
    check(reply.find(value) != std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    for (const auto& [left, right] : {std::pair("=\"", "\";"), {"TQCAM/", ";"}}) {
        const auto value = std::make_unique<char[]>(kValueSize);
        const int length = findSubString(reply.c_str(), value.get(), kValueSize, left, right);
        if (length > 0) {
            check(value[length] == '\0');
            checkValue(reply, value.get(), kValueSize);
            check(std::strstr(value.get(), right) == nullptr);
        }
    }
    const auto count = std::make_unique<char[]>(16);
    cutFileCount(reply.c_str(), count.get(), 16);
    checkValue(reply, count.get(), 16);
    check(std::strspn(count.get(), "0123456789") == std::strlen(count.get()));

    constexpr int kMaxNames = 4;
    const auto names = std::make_unique<char[][kValueSize]>(kMaxNames);
    int leftOut = 0;
    const int rows = cutFileList(reply, names.get(), kMaxNames, &leftOut);
    check(rows >= 0 && rows <= kMaxNames && leftOut >= 0);
    for (int row = 0; row < rows; ++row) {
        checkValue(reply, names[row], kValueSize);
        check(merro::isPlainCardFileName(names[row]));
    }
    const FileInfoFields fields = cutFileInfo(reply.c_str());
    for (const char* field : {fields.create, fields.size, fields.time})
        checkValue(reply, field, kValueSize);
    return 0;
}
