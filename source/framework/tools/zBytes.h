#pragma once

#include <cstdint>

// Reverses 2 or 4 bytes in place; other sizes are left unchanged.
void SwapBytes(int size, void* data);
int CountSetBits(uint32_t mask);
// 32 for an empty mask.
int LowestSetBit(uint32_t mask);
void CopyBytes(void* destination, const void* source, uint32_t count);
void FillBytes(void* data, int value, uint32_t count);
