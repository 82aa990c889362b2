#pragma once

// eDonkey2000 and MD5 hashes of PatternBytes files (testsupport::WritePatternFile),
// measured with rhash 1.4: `rhash --ed2k --md5 FILE`. The empty one is RFC
// 1320's MD4 and RFC 1321's MD5 of "". The sizes sit where the chunk count
// changes: a file of whole chunks ends in an empty one.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace testsupport {

struct TExpected
{
    std::uint64_t size;
    const char *ed2k;
    const char *md5;
};

inline constexpr TExpected Measured[] = {
    {0, "31D6CFE0D16AE931B73C59D7E0C089C0", "d41d8cd98f00b204e9800998ecf8427e"},
    {1, "47C61A0FA8738BA77308A8A600F88E4B", "93b885adfe0da089cdf634904fd59f71"},
    {100, "194594007FAADBBFBE88177F56431F7A", "69b92b4ecd05cd71d47c35d90b96bf5e"},
    {9727999, "5DED652EF0FDD70058D10D526719F2BE", "05eb314ca4ee36b049c71bbf98dc10ec"},
    {9728000, "2A76DC5F4C248047440D39BFD8DD17BE", "a0d5ab9181f40880fdffbec6bd6ad7e9"},
    {9728001, "830D8328172C60F0E1C8BE2CA7CC9F01", "e687d1499b0c79d790df32c32f29a1fc"},
    {19456000, "DD47F17A6C5F8515C874C24B64F9EB81", "a416ecc0dbe47339e8ce9c4c6fd3d081"},
    {19460097, "6D3BC9944218F9AB3D4A131379A2CA4F", "7b543ae23e360a6d4c7c8de2f02542a7"},
    {29184000, "D3F959CD251B5AA0AE38EBD857E81187", "16aaf4f46ea28aeaab677bd64a7d3d76"},
    {48640001, "653910CFA4B600E879DECE2F48E98A9D", "86ae58fce62b0ac16b01cb2719fd00b9"},
};

inline const TExpected &MeasuredFor(std::uint64_t size)
{
    for (const TExpected &expected : Measured)
        if (expected.size == size)
            return expected;
    throw std::logic_error("no measured hashes for size " + std::to_string(size));
}

} // namespace testsupport
