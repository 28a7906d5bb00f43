#include "cli/LineDiff.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

namespace {

// The comparison on line numbers (equal lines share a number), in the manner of
// Myers' linear-space refinement: find a middle point of a shortest edit,
// then solve both halves.
class Myers {
public:
    Myers(const std::vector<int>& a, const std::vector<int>& b, std::vector<char>& removed,
          std::vector<char>& added)
        : a_(a), b_(b), removed_(removed), added_(added) {
        const std::size_t most = a.size() + b.size() + 2;
        forward_.resize(2 * most + 1);
        backward_.resize(2 * most + 1);
    }

    void Compare(long aLo, long aHi, long bLo, long bHi) {
        while (aLo < aHi && bLo < bHi && a_[aLo] == b_[bLo])
            ++aLo, ++bLo;
        while (aLo < aHi && bLo < bHi && a_[aHi - 1] == b_[bHi - 1])
            --aHi, --bHi;
        if (aLo == aHi || bLo == bHi) {
            for (long i = aLo; i < aHi; ++i)
                removed_[i] = 1;
            for (long j = bLo; j < bHi; ++j)
                added_[j] = 1;
            return;
        }
        long x = 0;
        long y = 0;
        Split(aLo, aHi, bLo, bHi, x, y);
        if ((x == aLo && y == bLo) || (x == aHi && y == bHi)) {
            // Cannot happen for a shortest edit of two or more steps; stay correct anyway.
            for (long i = aLo; i < aHi; ++i)
                removed_[i] = 1;
            for (long j = bLo; j < bHi; ++j)
                added_[j] = 1;
            return;
        }
        Compare(aLo, x, bLo, y);
        Compare(x, aHi, y, bHi);
    }

private:
    // A point (x, y) on a shortest edit path from (aLo, bLo) to (aHi, bHi): where
    // the paths searched from both ends meet.
    void Split(long aLo, long aHi, long bLo, long bHi, long& sx, long& sy) {
        const long n = aHi - aLo;
        const long m = bHi - bLo;
        const long delta = n - m;
        const bool odd = (delta & 1) != 0;
        const long maxD = (n + m + 1) / 2;
        const long off = maxD + 1;
        // forward_[off + k]: furthest x on diagonal k = x - y from the start;
        // backward_[off + k]: furthest distance back from the end on diagonal k
        // of the reversed texts. Only the diagonals reached are set, so a call
        // costs what its search costs, not the size of its texts.
        auto fw = [&](long k) -> long& {
            return forward_[static_cast<std::size_t>(off + k)];
        };
        auto bw = [&](long k) -> long& {
            return backward_[static_cast<std::size_t>(off + k)];
        };
        // Past this many edits a shortest edit is not worth its time: the point
        // reached furthest so far is taken (the result stays a correct edit,
        // perhaps not the shortest), as diff does.
        const long costly = std::max<long>(1024, static_cast<long>(std::sqrt(double(n + m))) * 4);
        for (long d = 0; d <= maxD; ++d) {
            fw(-d - 1) = bw(-d - 1) = -1;
            fw(d + 1) = bw(d + 1) = d == 0 ? 0 : -1; // d == 0: the start
            if (d > costly) {
                FurthestPoint(d - 1, n, m, aLo, bLo, sx, sy);
                return;
            }
            for (long k = -d; k <= d; k += 2) {
                long x = Step(fw(k - 1), fw(k + 1), k, n, m);
                if (x < 0) {
                    fw(k) = -1;
                    continue;
                }
                long y = x - k;
                while (x < n && y < m && a_[aLo + x] == b_[bLo + y])
                    ++x, ++y;
                fw(k) = x;
                const long rk = delta - k; // the same diagonal seen from the end
                if (odd && rk >= -(d - 1) && rk <= d - 1 && bw(rk) >= 0 && x >= n - bw(rk)) {
                    sx = aLo + x;
                    sy = bLo + y;
                    return;
                }
            }
            for (long k = -d; k <= d; k += 2) {
                long x = Step(bw(k - 1), bw(k + 1), k, n, m);
                if (x < 0) {
                    bw(k) = -1;
                    continue;
                }
                long y = x - k;
                while (x < n && y < m && a_[aHi - 1 - x] == b_[bHi - 1 - y])
                    ++x, ++y;
                bw(k) = x;
                const long fk = delta - k;
                if (!odd && fk >= -d && fk <= d && fw(fk) >= 0 && fw(fk) >= n - x) {
                    sx = aLo + fw(fk);
                    sy = bLo + fw(fk) - fk;
                    return;
                }
            }
        }
        sx = aLo;
        sy = bLo;
    }

    // Where a path on diagonal k starts, one edit after the furthest paths on
    // the diagonals beside it (-1: none): a step right from k - 1 or down from
    // k + 1, whichever lies further and inside the n by m grid.
    static long Step(long fromBelow, long fromAbove, long k, long n, long m) {
        long best = -1;
        if (fromBelow >= 0 && fromBelow + 1 <= n && fromBelow + 1 - k >= 0 &&
            fromBelow + 1 - k <= m)
            best = fromBelow + 1;
        if (fromAbove >= 0 && fromAbove - k >= 0 && fromAbove - k <= m && fromAbove > best)
            best = fromAbove;
        return best;
    }

    // The point furthest along (x + y largest) of the forward paths of d edits.
    void FurthestPoint(long d, long n, long m, long aLo, long bLo, long& sx, long& sy) {
        const long off = (n + m + 1) / 2 + 1;
        long best = -1;
        sx = aLo;
        sy = bLo;
        for (long k = -d; k <= d; k += 2) {
            const long x = forward_[static_cast<std::size_t>(off + k)];
            if (x >= 0 && x - k >= 0 && x <= n && x - k <= m && 2 * x - k > best) {
                best = 2 * x - k;
                sx = aLo + x;
                sy = bLo + x - k;
            }
        }
    }

    const std::vector<int>& a_;
    const std::vector<int>& b_;
    std::vector<char>& removed_;
    std::vector<char>& added_;
    std::vector<long> forward_;
    std::vector<long> backward_;
};

} // namespace

LineEdit DiffLines(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
    LineEdit edit;
    edit.removed.assign(a.size(), 0);
    edit.added.assign(b.size(), 0);

    // Equal lines get one number; a line seen on one side only is an edit for sure.
    std::unordered_map<std::string_view, int> numbers;
    std::vector<int> countA;
    std::vector<int> countB;
    auto number = [&](std::string_view line) {
        const auto [it, fresh] = numbers.emplace(line, static_cast<int>(numbers.size()));
        if (fresh) {
            countA.push_back(0);
            countB.push_back(0);
        }
        return it->second;
    };
    std::vector<int> na(a.size());
    std::vector<int> nb(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ++countA[static_cast<std::size_t>(na[i] = number(a[i]))];
    for (std::size_t j = 0; j < b.size(); ++j)
        ++countB[static_cast<std::size_t>(nb[j] = number(b[j]))];

    std::vector<int> keptA;
    std::vector<int> keptB;
    std::vector<std::size_t> whereA;
    std::vector<std::size_t> whereB;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (countB[static_cast<std::size_t>(na[i])] == 0) {
            edit.removed[i] = 1;
        } else {
            keptA.push_back(na[i]);
            whereA.push_back(i);
        }
    }
    for (std::size_t j = 0; j < b.size(); ++j) {
        if (countA[static_cast<std::size_t>(nb[j])] == 0) {
            edit.added[j] = 1;
        } else {
            keptB.push_back(nb[j]);
            whereB.push_back(j);
        }
    }
    std::vector<char> removed(keptA.size(), 0);
    std::vector<char> added(keptB.size(), 0);
    Myers(keptA, keptB, removed, added)
        .Compare(0, static_cast<long>(keptA.size()), 0, static_cast<long>(keptB.size()));
    for (std::size_t i = 0; i < keptA.size(); ++i)
        if (removed[i])
            edit.removed[whereA[i]] = 1;
    for (std::size_t j = 0; j < keptB.size(); ++j)
        if (added[j])
            edit.added[whereB[j]] = 1;
    return edit;
}
