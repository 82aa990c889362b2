#include "digests/ed2k.h"

#include <cstring>

#include "digests/MessageDigests.h"

std::array<std::uint8_t, DonkeyDigestBytes> DonkeyRoot(std::span<const std::uint8_t> chunkDigests)
{
    BrackwellAssert(chunkDigests.size() >= DonkeyDigestBytes && chunkDigests.size() % DonkeyDigestBytes == 0,
                    "the chunk digests are not a whole number of 16-byte digests");
    std::array<std::uint8_t, DonkeyDigestBytes> root{};
    if (chunkDigests.size() == DonkeyDigestBytes) {
        std::memcpy(root.data(), chunkDigests.data(), root.size());
        return root;
    }
    TMD4 md4;
    md4.Transform(chunkDigests.data(), chunkDigests.size());
    md4.Complete();
    std::memcpy(root.data(), md4.Digest().data(), root.size());
    return root;
}
