// libFuzzer target for the link reader of share lists. Each input is scanned in
// one piece and in small pieces, and the two must find the same links; every
// link found must be well formed. A disagreement aborts.

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "linkreader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const bool html = data[0] & 1;
    const std::size_t piece = data[1] % 23 + 1;
    const std::string_view text(reinterpret_cast<const char *>(data + 2), size - 2);

    const std::vector<TFoundLink> whole = FindLinks(text, html);
    std::vector<TFoundLink> pieces;
    TLinkScanner scanner([&](const TFoundLink &link) { pieces.push_back(link); }, html);
    for (std::size_t at = 0; at < text.size(); at += piece)
        scanner.Feed(text.substr(at, piece));
    scanner.Finish();
    if (pieces != whole)
        std::abort();

    for (const TFoundLink &link : whole) {
        if (link.Hash.size() != 32)
            std::abort();
        IsPlainFileName(link.Name);
    }
    HtmlDecode(text);
    PercentDecode(text);
    return 0;
}
