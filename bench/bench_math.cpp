#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zQuaternion.h"

#include <benchmark/benchmark.h>

namespace {

zMatrix4 SampleMatrix(float seed)
{
    return zMatrix4::FromTransformation(zVector(seed, 2.0f, -3.0f), zVector(0.3f * seed, -0.2f, 1.1f), zVector(1.5f, 0.5f, 2.0f), zVector(0, 0, 0));
}

void MatrixMultiply4(benchmark::State& state)
{
    zMatrix4 a = SampleMatrix(1.0f);
    const zMatrix4 b = SampleMatrix(2.0f);
    for (auto _ : state) {
        a = a * b;
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(MatrixMultiply4);

void MatrixMultiply3(benchmark::State& state)
{
    zMatrix3 a = zMatrix3::FromEuler(0.1f, 0.2f, 0.3f, RotationOrderYXZ);
    const zMatrix3 b = zMatrix3::FromEuler(-0.4f, 0.5f, 0.6f, RotationOrderZYX);
    for (auto _ : state) {
        a = a * b;
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(MatrixMultiply3);

void MatrixInverseAffine(benchmark::State& state)
{
    zMatrix4 m = SampleMatrix(1.0f);
    for (auto _ : state) {
        m = m.InverseAffine();
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(MatrixInverseAffine);

void MatrixInverse3(benchmark::State& state)
{
    zMatrix3 m = zMatrix3::FromEuler(0.1f, 0.2f, 0.3f, RotationOrderYXZ).MulScalar(2.0f);
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.Inverse(m));
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(MatrixInverse3);

void QuaternionSlerp(benchmark::State& state)
{
    const zQuaternion a = zQuaternion::FromEuler(0.1f, 0.2f, 0.3f, RotationOrderYXZ);
    const zQuaternion b = zQuaternion::FromEuler(1.1f, -0.7f, 2.3f, RotationOrderYXZ);
    float t = 0.0f;
    for (auto _ : state) {
        t = t < 1.0f ? t + 0.001f : 0.0f;
        benchmark::DoNotOptimize(zQuaternion::Slerp(a, b, t));
    }
}
BENCHMARK(QuaternionSlerp);

void MatrixInterpolate(benchmark::State& state)
{
    const zMatrix4 a = SampleMatrix(1.0f);
    const zMatrix4 b = SampleMatrix(3.0f);
    float t = 0.0f;
    for (auto _ : state) {
        t = t < 1.0f ? t + 0.001f : 0.0f;
        benchmark::DoNotOptimize(zMatrix4::Interpolate(a, b, t, false));
    }
}
BENCHMARK(MatrixInterpolate);

} // namespace
