#pragma once

#include <cstdint>

namespace ical {

// The work one question may take. Every step of the date engines (a period
// looked at, a date tested or produced, a table entry built or summed)
// spends one; a step is a handful of instructions, so that a bound in steps
// is a bound in time whatever the input. Once more is asked than allowed, it
// stays exhausted.
class WorkBudget {
public:
    explicit WorkBudget(std::int64_t allowed) : m_allowed(allowed), m_left(allowed) {}

    // False once the steps spent exceed the allowance.
    bool Spend(std::int64_t steps = 1) {
        m_left -= steps;
        return m_left >= 0;
    }
    bool Exhausted() const { return m_left < 0; }
    std::int64_t Allowed() const { return m_allowed; }
    std::int64_t Spent() const { return m_allowed - m_left; }

private:
    std::int64_t m_allowed;
    std::int64_t m_left;
};

} // namespace ical
