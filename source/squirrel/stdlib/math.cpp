// The math library. Everything takes integers or floats and returns a float, except
// abs (integer) and rand (integer in 0..RAND_MAX).
#include <sqstdmath.h>

#include <cmath>
#include <cstdlib>

#include "register.h"

namespace {

SQFloat Arg(HSQUIRRELVM v, SQInteger i)
{
    SQFloat f = 0;
    sq_getfloat(v, i, &f);
    return f;
}

template <double (*Fn)(double)> SQInteger Unary(HSQUIRRELVM v)
{
    sq_pushfloat(v, static_cast<SQFloat>(Fn(static_cast<double>(Arg(v, 2)))));
    return 1;
}

template <double (*Fn)(double, double)> SQInteger Binary(HSQUIRRELVM v)
{
    sq_pushfloat(v, static_cast<SQFloat>(Fn(static_cast<double>(Arg(v, 2)), static_cast<double>(Arg(v, 3)))));
    return 1;
}

SQInteger math_srand(HSQUIRRELVM v)
{
    SQInteger seed = 0;
    sq_getinteger(v, 2, &seed);
    srand(static_cast<unsigned>(seed));
    return 0;
}

SQInteger math_rand(HSQUIRRELVM v)
{
    sq_pushinteger(v, static_cast<SQInteger>(rand()));
    return 1;
}

SQInteger math_abs(HSQUIRRELVM v)
{
    SQInteger n = 0;
    sq_getinteger(v, 2, &n);
    sq_pushinteger(v, n < 0 ? static_cast<SQInteger>(0u - static_cast<uint32_t>(n)) : n);
    return 1;
}

double Fabs(double x) { return std::fabs(x); }

const SQRegFunction kMath[] = {
    {"sqrt", Unary<std::sqrt>, 2, ".n"},     {"sin", Unary<std::sin>, 2, ".n"},
    {"cos", Unary<std::cos>, 2, ".n"},       {"asin", Unary<std::asin>, 2, ".n"},
    {"acos", Unary<std::acos>, 2, ".n"},     {"log", Unary<std::log>, 2, ".n"},
    {"log10", Unary<std::log10>, 2, ".n"},   {"tan", Unary<std::tan>, 2, ".n"},
    {"atan", Unary<std::atan>, 2, ".n"},     {"atan2", Binary<std::atan2>, 3, ".nn"},
    {"pow", Binary<std::pow>, 3, ".nn"},     {"floor", Unary<std::floor>, 2, ".n"},
    {"ceil", Unary<std::ceil>, 2, ".n"},     {"exp", Unary<std::exp>, 2, ".n"},
    {"srand", math_srand, 2, ".n"},          {"rand", math_rand, 1, nullptr},
    {"fabs", Unary<Fabs>, 2, ".n"},          {"abs", math_abs, 2, ".n"},
    {nullptr, nullptr, 0, nullptr}};

} // namespace

SQRESULT sqstd_register_mathlib(HSQUIRRELVM v)
{
    nutstd::RegisterFunctions(v, kMath);
    sq_pushstring(v, "RAND_MAX", -1);
    sq_pushinteger(v, RAND_MAX);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "PI", -1);
    sq_pushfloat(v, static_cast<SQFloat>(3.14159265358979323846));
    sq_newslot(v, -3, SQFalse);
    return SQ_OK;
}
