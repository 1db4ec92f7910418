#include "framework/math/zRandom.h"

namespace {

uint32_t StateA = 0;
uint32_t StateB = 0;

void Step()
{
    StateA = ((StateA << 16) | (StateA >> 16)) + StateB;
    StateB += StateA;
}

float LowWordFraction()
{
    return float(StateA & 0xFFFFu) / 65536.0f;
}

} // namespace

uint32_t SeedRandom(uint32_t seed)
{
    StateA = 0xDEADBEEFu;
    StateB = 0x97CCD0ADu;
    for (uint32_t i = seed & 0x1FFFu; i > 0; --i)
        Step();
    return StateA;
}

uint32_t RandomInt(uint32_t n)
{
    if (n == 0)
        return 0;
    Step();
    return StateA % n;
}

float RandomFloat(float x)
{
    Step();
    return LowWordFraction() * x;
}

float RandomRange(float a, float b)
{
    Step();
    return a + LowWordFraction() * (b - a);
}
