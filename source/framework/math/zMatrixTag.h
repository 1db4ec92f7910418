#pragma once

#include "framework/math/zVector.h"
#include "framework/metafile/zMetaTag.h"

#include <new>

class zMetaFile;

// The matrix tags of zMatrix3 ("Mtx3") and zMatrix4 ("Mtx4"): one vector tag
// per row, "R0", "R1", ..., in row order. Matrix needs GetRow(i) and
// SetRow(i, row).
namespace zMatrixTag {

constexpr const char* RowNames[4] = {"R0", "R1", "R2", "R3"};

// A new tag (the caller owns it), or null when it cannot be allocated; a row
// that cannot be allocated is left out.
template <int Rows, class Matrix>
zMetaTag* Write(const Matrix& matrix, const char* name, bool withW)
{
    zMetaTag* tag = new (std::nothrow) zMetaTag(name);
    if (tag == nullptr)
        return nullptr;
    for (int i = 0; i < Rows; ++i)
        tag->AddChild(matrix.GetRow(i).AsMetaTag(RowNames[i], withW));
    return tag;
}

// Reads the rows in order, whatever their names, through shortcuts; false at
// the first missing or incomplete row, with the rows before it (and what the
// incomplete one held) already stored.
template <int Rows, class Matrix>
bool Read(Matrix& matrix, const zMetaFile* document, const zMetaTag* tag)
{
    zMetaTag* child = tag != nullptr ? tag->GetFirstChild() : nullptr;
    for (int i = 0; i < Rows; ++i, child = child->GetNextSibling()) {
        const zMetaTag* rowTag = zMetaTag::ResolveShortcut(child, document);
        if (rowTag == nullptr)
            return false;
        zVector row = matrix.GetRow(i);
        const bool complete = row.FromMetaTag(rowTag);
        matrix.SetRow(i, row);
        if (!complete)
            return false;
    }
    return true;
}

} // namespace zMatrixTag
