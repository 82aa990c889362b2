#pragma once

// The steps of MD4, MD5 and SHA-1 over vectors of lanes, written once for
// every instruction set. Ops supplies the vector type, its lane count and the
// few operations the steps need; Groups independent vectors run each step in
// turn, so one group's dependency chain waits while the other computes. Included by
// the engine units inside their target region: everything here is a template
// over Ops, instantiated there alone.

#include "digests/lanes_engines.h"
#include "digests/md4family_tables.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace lanes {

enum class TKernel { Md4, Md5, Sha1 };

// SHA-1's additive constant for each run of 20 steps.
constexpr std::uint32_t kSha1RoundConstant[4] = {0x5a827999, 0x6ed9eba1, 0x8f1bbcdc, 0xca62c1d6};

template <class Ops, int Groups>
struct TLaneRounds
{
    using V = typename Ops::Vector;
    static constexpr int kWidth = Ops::kLanes;

    V s[5][Groups];
    V x[Groups][16];

    template <int Step, int A, int B, int C, int D>
    [[gnu::always_inline]] inline void Md4Step()
    {
        using namespace md4family;
        constexpr int round = Step / 16;
        for (int g = 0; g < Groups; ++g) {
            V a = Ops::Add(s[A][g], x[g][kMd4Word[Step]]);
            if constexpr (round == 0) {
                a = Ops::Add(a, Ops::Choose(s[B][g], s[C][g], s[D][g]));
            } else if constexpr (round == 1) {
                a = Ops::Add(a, Ops::Set(kMd4RoundConstant[round]));
                a = Ops::Add(a, Ops::Majority(s[B][g], s[C][g], s[D][g]));
            } else {
                a = Ops::Add(a, Ops::Set(kMd4RoundConstant[round]));
                a = Ops::Add(a, Ops::Parity(s[B][g], s[C][g], s[D][g]));
            }
            s[A][g] = Ops::template Rotl<kMd4Shift[round * 4 + Step % 4]>(a);
        }
    }

    template <int Step, int A, int B, int C, int D>
    [[gnu::always_inline]] inline void Md5Step()
    {
        using namespace md4family;
        constexpr int round = Step / 16;
        for (int g = 0; g < Groups; ++g) {
            V a = Ops::Add(s[A][g], Ops::Add(x[g][kMd5Word[Step]], Ops::Set(kMd5Sine[Step])));
            if constexpr (round == 0)
                a = Ops::Add(a, Ops::Choose(s[B][g], s[C][g], s[D][g]));
            else if constexpr (round == 1)
                a = Ops::Add(a, Ops::Choose(s[D][g], s[B][g], s[C][g]));
            else if constexpr (round == 2)
                a = Ops::Add(a, Ops::Parity(s[B][g], s[C][g], s[D][g]));
            else
                a = Ops::Add(a, Ops::Md5I(s[B][g], s[C][g], s[D][g]));
            s[A][g] = Ops::Add(s[B][g], Ops::template Rotl<kMd5Shift[round * 4 + Step % 4]>(a));
        }
    }

    // SHA-1 step T with the chaining values in roles A..E: E takes the step's
    // sum and becomes the next A, B turns by 30. From step 16 on, the message
    // word is rebuilt in place from the ring of the last 16.
    template <int T, int A, int B, int C, int D, int E>
    [[gnu::always_inline]] inline void Sha1Step()
    {
        constexpr int round = T / 20;
        for (int g = 0; g < Groups; ++g) {
            V &w = x[g][T % 16];
            if constexpr (T >= 16)
                w = Ops::template Rotl<1>(
                    Ops::Xor(Ops::Parity(x[g][(T - 3) % 16], x[g][(T - 8) % 16], x[g][(T - 14) % 16]), w));
            V e = Ops::Add(s[E][g], Ops::Add(w, Ops::Set(kSha1RoundConstant[round])));
            if constexpr (round == 0)
                e = Ops::Add(e, Ops::Choose(s[B][g], s[C][g], s[D][g]));
            else if constexpr (round == 2)
                e = Ops::Add(e, Ops::Majority(s[B][g], s[C][g], s[D][g]));
            else
                e = Ops::Add(e, Ops::Parity(s[B][g], s[C][g], s[D][g]));
            s[E][g] = Ops::Add(e, Ops::template Rotl<5>(s[A][g]));
            s[B][g] = Ops::template Rotl<30>(s[B][g]);
        }
    }

    // Five steps rotate the roles of SHA-1's chaining values back to the start.
    template <int T>
    [[gnu::always_inline]] inline void Sha1Five()
    {
        Sha1Step<T + 0, 0, 1, 2, 3, 4>();
        Sha1Step<T + 1, 4, 0, 1, 2, 3>();
        Sha1Step<T + 2, 3, 4, 0, 1, 2>();
        Sha1Step<T + 3, 2, 3, 4, 0, 1>();
        Sha1Step<T + 4, 1, 2, 3, 4, 0>();
    }

    // Four steps rotate the roles of the chaining values back to the start.
    template <int Step>
    [[gnu::always_inline]] inline void Md4Quad()
    {
        Md4Step<Step + 0, 0, 1, 2, 3>();
        Md4Step<Step + 1, 3, 0, 1, 2>();
        Md4Step<Step + 2, 2, 3, 0, 1>();
        Md4Step<Step + 3, 1, 2, 3, 0>();
    }

    template <int Step>
    [[gnu::always_inline]] inline void Md5Quad()
    {
        Md5Step<Step + 0, 0, 1, 2, 3>();
        Md5Step<Step + 1, 3, 0, 1, 2>();
        Md5Step<Step + 2, 2, 3, 0, 1>();
        Md5Step<Step + 3, 1, 2, 3, 0>();
    }

    // Groups of four steps (MD4, MD5) or five (SHA-1).
    template <TKernel Kernel, int... Group>
    [[gnu::always_inline]] inline void Block(std::integer_sequence<int, Group...>)
    {
        if constexpr (Kernel == TKernel::Md5)
            (Md5Quad<Group * 4>(), ...);
        else if constexpr (Kernel == TKernel::Md4)
            (Md4Quad<Group * 4>(), ...);
        else
            (Sha1Five<Group * 5>(), ...);
    }
};

// Runs `blocks` blocks on lanes first..first + Groups * Ops::kLanes - 1.
template <class Ops, int Groups, TKernel Kernel>
[[gnu::always_inline]] inline void CompressLanes(TLaneStates &state, const std::uint8_t *const *data,
                                                 std::size_t blocks, int first = 0)
{
    using Rounds = TLaneRounds<Ops, Groups>;
    constexpr int width = Rounds::kWidth;
    constexpr int words = Kernel == TKernel::Sha1 ? 5 : 4;
    constexpr int stepGroups = Kernel == TKernel::Sha1 ? 16 : Kernel == TKernel::Md5 ? 16 : 12;
    Rounds r;
    for (int w = 0; w < words; ++w)
        for (int g = 0; g < Groups; ++g)
            r.s[w][g] = Ops::Load(&state[w][first + g * width]);

    for (std::size_t offset = 0; blocks > 0; --blocks, offset += 64) {
        typename Rounds::V before[words][Groups];
        for (int g = 0; g < Groups; ++g) {
            Ops::LoadMessages(data + first + g * width, offset, r.x[g]);
            if constexpr (Kernel == TKernel::Sha1) // SHA-1 reads its words big-endian
                for (int i = 0; i < 16; ++i)
                    r.x[g][i] = Ops::ByteSwap(r.x[g][i]);
            for (int w = 0; w < words; ++w)
                before[w][g] = r.s[w][g];
        }
        r.template Block<Kernel>(std::make_integer_sequence<int, stepGroups>());
        for (int w = 0; w < words; ++w)
            for (int g = 0; g < Groups; ++g)
                r.s[w][g] = Ops::Add(r.s[w][g], before[w][g]);
    }

    for (int w = 0; w < words; ++w)
        for (int g = 0; g < Groups; ++g)
            Ops::Store(&state[w][first + g * width], r.s[w][g]);
}

} // namespace lanes
