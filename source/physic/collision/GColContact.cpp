#include "physic/collision/GColContact.h"

#include "framework/system/zLogStream.h"

GColContactHook GlobalContactHook = nullptr;

bool GColContactBuffer::ReserveNode()
{
    if (nodeCount < nodeCapacity)
        return true;
    if (!overflowed) {
        overflowed = true;
        LogWarning("GCollide::Detect") << "Contact buffer full (" << nodeCapacity << " nodes, " << pointCapacity
                                       << " points), further contacts dropped.\n";
    }
    return false;
}

bool GColContactBuffer::ReservePoint()
{
    // The node's first point index is 16-bit.
    if (pointCount < pointCapacity && pointCount < 65535u)
        return true;
    if (!overflowed) {
        overflowed = true;
        LogWarning("GCollide::Detect") << "Contact buffer full (" << nodeCapacity << " nodes, " << pointCapacity
                                       << " points), further contacts dropped.\n";
    }
    return false;
}
