// One receive from a unit, in a zero-padded buffer of the link's receive size
// on the heap, so that a check reading past it is caught. A version report is
// a control frame with command 0, decoded big-endian; anything else leaves
// the report untouched.

#include "fuzzcheck.h"
#include "linkframes.h"

#include <vector>

using namespace LinkFrames;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kReceiveSize)
        return 0;
    std::vector<char> buffer(kReceiveSize, 0);
    std::copy(data, data + size, buffer.begin());
    const auto byte = [&buffer](int i) { return static_cast<unsigned char>(buffer[i]); };
    for (const unsigned char start : {kControlStart, kGroundStart})
        for (const unsigned char command : {kVersionReport, kHeartbeat})
            check(isFrame(buffer.data(), start, command)
                  == (byte(0) == start && byte(2) == command));
    VersionReport report;
    report.hardVer = -1;
    const bool version = readVersionReport(buffer.data(), report);
    check(version == isFrame(buffer.data(), kControlStart, kVersionReport));
    if (!version) {
        check(report.hardVer == -1);
        return 0;
    }
    check(report.hardType == static_cast<signed char>(byte(4)));
    const int fields[] = {report.hardVer, report.softVer, report.protocolVer, report.bootVer};
    for (int i = 0; i < 4; ++i)
        check(fields[i] == byte(5 + 2 * i) * 256 + byte(6 + 2 * i));
    return 0;
}
