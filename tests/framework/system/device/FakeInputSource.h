#pragma once

#include "framework/system/device/zInputSource.h"

#include <set>
#include <vector>

// A desktop the test sets up: keys held, a cursor, a client area, a screen.
class FakeInputSource : public zInputSource {
public:
    struct Point {
        int32_t x;
        int32_t y;
        bool operator==(const Point&) const = default;
    };

    bool IsKeyDown(int32_t virtualKey) override { return down.count(virtualKey) != 0; }
    void GetCursorPosition(int32_t& x, int32_t& y) override
    {
        x = cursor.x;
        y = cursor.y;
    }
    void GetClientSize(int32_t& width, int32_t& height) override
    {
        width = clientWidth;
        height = clientHeight;
    }
    bool SetCursorPosition(int32_t x, int32_t y) override
    {
        warps.push_back({x, y});
        if (!canWarp)
            return false;
        cursor = {x, y};
        return true;
    }
    int32_t GetFullScreenWidth() override { return screenWidth; }

    std::set<int32_t> down;
    Point cursor{0, 0};
    int32_t clientWidth = 640;
    int32_t clientHeight = 480;
    int32_t screenWidth = 1024;
    bool canWarp = true;
    std::vector<Point> warps;
};
