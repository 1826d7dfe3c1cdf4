#include "restore/RestorePlan.h"

#include <algorithm>
#include <map>

namespace torvinel {

namespace {

// The greedy cover. Discs are numbered in DiscId order, so a higher number is a newer disc.
class Planner {
public:
    explicit Planner(const std::vector<PlanLine>& lines) : m_lines(lines)
    {
        for (const PlanLine& line : lines)
            for (const auto& copy : line.copies)
                for (const std::string& disc : copy)
                    m_numbers.emplace(disc, 0);
        for (auto& [disc, number] : m_numbers) {
            number = static_cast<int>(m_discs.size());
            m_discs.push_back(disc);
        }
        m_chosen.assign(m_discs.size(), false);
        m_completing.assign(m_discs.size(), 0);
        m_copiesOn.resize(m_discs.size());
        m_covered.assign(lines.size(), false);
        m_counted.resize(lines.size());
        for (std::size_t l = 0; l < lines.size(); ++l) {
            for (const auto& discs : lines[l].copies) {
                Copy copy{l, {}, 0};
                for (const std::string& disc : discs)
                    copy.discs.push_back(m_numbers.at(disc));
                std::sort(copy.discs.begin(), copy.discs.end());
                copy.discs.erase(std::unique(copy.discs.begin(), copy.discs.end()), copy.discs.end());
                copy.missing = copy.discs.size();
                for (const int d : copy.discs)
                    m_copiesOn[static_cast<std::size_t>(d)].push_back(m_copies.size());
                m_copies.push_back(std::move(copy));
            }
            if (!lines[l].copies.empty())
                ++m_uncovered;
        }
        for (const Copy& copy : m_copies)
            if (copy.missing == 1)
                note(copy.line, copy.discs[0]);
    }

    RestorePlan plan()
    {
        while (m_uncovered > 0) {
            int best = -1;
            for (int d = static_cast<int>(m_discs.size()); d-- > 0;)
                if (!m_chosen[static_cast<std::size_t>(d)]
                    && (best < 0 || m_completing[static_cast<std::size_t>(d)] > m_completing[static_cast<std::size_t>(best)]))
                    best = d;
            if (best >= 0 && m_completing[static_cast<std::size_t>(best)] > 0) {
                choose(best);
                continue;
            }
            for (const int d : missingDiscsOfCheapestCopy())
                choose(d);
        }
        return result();
    }

private:
    struct Copy {
        std::size_t line;
        std::vector<int> discs; // distinct, ascending
        std::size_t missing;    // discs not chosen yet
    };

    // The line would be complete with disc d alone: d counts it once.
    void note(std::size_t line, int d)
    {
        std::vector<int>& counted = m_counted[line];
        if (std::find(counted.begin(), counted.end(), d) != counted.end())
            return;
        counted.push_back(d);
        ++m_completing[static_cast<std::size_t>(d)];
    }

    void cover(std::size_t line)
    {
        m_covered[line] = true;
        --m_uncovered;
        for (const int d : m_counted[line])
            --m_completing[static_cast<std::size_t>(d)];
        m_counted[line].clear();
    }

    void choose(int d)
    {
        m_chosen[static_cast<std::size_t>(d)] = true;
        for (const std::size_t c : m_copiesOn[static_cast<std::size_t>(d)]) {
            Copy& copy = m_copies[c];
            --copy.missing;
            if (m_covered[copy.line])
                continue;
            if (copy.missing == 0) {
                cover(copy.line);
            } else if (copy.missing == 1) {
                for (const int other : copy.discs)
                    if (!m_chosen[static_cast<std::size_t>(other)])
                        note(copy.line, other);
            }
        }
    }

    std::vector<int> missingOf(const Copy& copy) const
    {
        std::vector<int> missing;
        for (auto it = copy.discs.rbegin(); it != copy.discs.rend(); ++it)
            if (!m_chosen[static_cast<std::size_t>(*it)])
                missing.push_back(*it);
        return missing; // newest first
    }

    // Of the copies of lines still uncovered: the fewest discs missing, the newest discs on
    // a tie.
    std::vector<int> missingDiscsOfCheapestCopy() const
    {
        std::vector<int> best;
        for (const Copy& copy : m_copies) {
            if (m_covered[copy.line])
                continue;
            std::vector<int> missing = missingOf(copy);
            if (best.empty() || missing.size() < best.size() || (missing.size() == best.size() && missing > best))
                best = std::move(missing);
        }
        return best;
    }

    RestorePlan result() const
    {
        RestorePlan plan;
        std::vector<int> rank(m_discs.size(), -1); // position in the order of asking
        for (int d = static_cast<int>(m_discs.size()); d-- > 0;)
            if (m_chosen[static_cast<std::size_t>(d)]) {
                rank[static_cast<std::size_t>(d)] = static_cast<int>(plan.discs.size());
                plan.discs.push_back({m_discs[static_cast<std::size_t>(d)], 0, 0});
            }
        plan.choice.assign(m_lines.size(), -1);
        std::size_t c = 0;
        for (std::size_t l = 0; l < m_lines.size(); ++l) {
            int soonest = -1; // the rank of the chosen copy's last disc asked for
            for (std::size_t k = 0; k < m_lines[l].copies.size(); ++k, ++c) {
                int complete = 0;
                bool usable = true;
                for (const int d : m_copies[c].discs) {
                    usable = usable && rank[static_cast<std::size_t>(d)] >= 0;
                    complete = std::max(complete, rank[static_cast<std::size_t>(d)]);
                }
                if (usable && (soonest < 0 || complete < soonest)) {
                    soonest = complete;
                    plan.choice[l] = static_cast<int>(k);
                }
            }
            if (plan.choice[l] < 0)
                continue;
            const std::string& supplier = m_lines[l].copies[static_cast<std::size_t>(plan.choice[l])].back();
            PlannedDisc& disc = plan.discs[static_cast<std::size_t>(rank[static_cast<std::size_t>(m_numbers.at(supplier))])];
            ++disc.files;
            disc.bytes += m_lines[l].bytes;
        }
        return plan;
    }

    const std::vector<PlanLine>& m_lines;
    std::map<std::string, int> m_numbers; // DiscId -> number
    std::vector<std::string> m_discs;
    std::vector<Copy> m_copies;
    std::vector<std::vector<std::size_t>> m_copiesOn; // per disc, the copies that need it
    std::vector<bool> m_chosen;
    std::vector<int> m_completing; // per disc, the uncovered lines it alone would complete
    std::vector<bool> m_covered;
    std::vector<std::vector<int>> m_counted; // per line, the discs that count it
    std::size_t m_uncovered = 0;
};

} // namespace

RestorePlan planRestore(const std::vector<PlanLine>& lines) { return Planner(lines).plan(); }

std::string planMessage(const RestorePlan& plan)
{
    std::string text = "This restore needs " + std::to_string(plan.discs.size())
        + (plan.discs.size() == 1 ? " disc: " : " discs: ");
    for (std::size_t i = 0; i < plan.discs.size(); ++i)
        text += (i ? ", " : "") + plan.discs[i].disc;
    return text;
}

} // namespace torvinel
