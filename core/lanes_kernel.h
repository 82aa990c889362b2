#pragma once

// The steps of MD4 and MD5 over vectors of lanes, written once for every
// instruction set. Ops supplies the vector type, its lane count and the few
// operations the steps need; Groups independent vectors run each step in turn,
// so one group's dependency chain waits while the other computes. Included by
// the engine units inside their target region: everything here is a template
// over Ops, instantiated there alone.

#include "lanes_engines.h"
#include "md4family_tables.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace lanes {

template <class Ops, int Groups>
struct TLaneRounds
{
    using V = typename Ops::Vector;
    static constexpr int kWidth = Ops::kLanes;

    V s[4][Groups];
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

    template <bool IsMd5, int... Quad>
    [[gnu::always_inline]] inline void Block(std::integer_sequence<int, Quad...>)
    {
        if constexpr (IsMd5)
            (Md5Quad<Quad * 4>(), ...);
        else
            (Md4Quad<Quad * 4>(), ...);
    }
};

// Runs `blocks` blocks on lanes 0..Groups * Ops::kLanes - 1.
template <class Ops, int Groups, bool IsMd5>
[[gnu::always_inline]] inline void CompressLanes(TLaneStates &state, const std::uint8_t *const *data,
                                                 std::size_t blocks)
{
    using Rounds = TLaneRounds<Ops, Groups>;
    constexpr int width = Rounds::kWidth;
    Rounds r;
    for (int w = 0; w < 4; ++w)
        for (int g = 0; g < Groups; ++g)
            r.s[w][g] = Ops::Load(&state[w][g * width]);

    for (std::size_t offset = 0; blocks > 0; --blocks, offset += 64) {
        typename Rounds::V before[4][Groups];
        for (int g = 0; g < Groups; ++g) {
            Ops::LoadMessages(data + g * width, offset, r.x[g]);
            for (int w = 0; w < 4; ++w)
                before[w][g] = r.s[w][g];
        }
        r.template Block<IsMd5>(std::make_integer_sequence<int, IsMd5 ? 16 : 12>());
        for (int w = 0; w < 4; ++w)
            for (int g = 0; g < Groups; ++g)
                r.s[w][g] = Ops::Add(r.s[w][g], before[w][g]);
    }

    for (int w = 0; w < 4; ++w)
        for (int g = 0; g < Groups; ++g)
            Ops::Store(&state[w][g * width], r.s[w][g]);
}

} // namespace lanes
