// The range rule of the station's number fields and how a typed digit grows a value.
#pragma once

#include <cstdlib>

// Digits a typed value may have: ten would overflow an int, so a further digit is ignored and the
// range check that follows clamps the value.
constexpr int kMaxTypedDigits = 9;

// Above the maximum: the maximum. Below the minimum: the minimum, except that exactly 0 stays when
// zero is allowed (0 then switches the function off).
inline int ClampToRange(int value, int minimum, int maximum, bool zeroAllowed)
{
    if (value > maximum)
        return maximum;
    if (value < minimum)
        return (zeroAllowed && value == 0) ? 0 : minimum;
    return value;
}

// value x 10 + digit, or the value unchanged once it has kMaxTypedDigits digits.
inline int AppendDigit(int value, int digit)
{
    if (std::abs(value) >= 100000000)
        return value;
    return value < 0 ? value * 10 - digit : value * 10 + digit;
}
