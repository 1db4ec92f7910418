#pragma once

#include "UiTestSupport.h"

#include "core/render/zNullRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/device/zInputSource.h"
#include "platform/PlatformVirtualKeys.h"
#include "ui/zScene2D.h"
#include "ui/zWindow.h"

#include <memory>
#include <set>
#include <vector>

// A desktop the test moves the cursor and presses the buttons on.
class FakeInputSource : public zInputSource {
public:
    bool IsKeyDown(int32_t key) override { return down.count(key) != 0; }
    void GetCursorPosition(int32_t& outX, int32_t& outY) override
    {
        outX = x;
        outY = y;
    }
    void GetClientSize(int32_t& w, int32_t& h) override
    {
        w = width;
        h = height;
    }
    bool SetCursorPosition(int32_t newX, int32_t newY) override
    {
        x = newX;
        y = newY;
        return true;
    }
    int32_t GetFullScreenWidth() override { return width; }

    int32_t x = 0, y = 0;
    int32_t width = 1280, height = 960;
    std::set<int32_t> down;
};

// Records what the 2D scene sends a renderer.
class RecordingRenderer : public zNullRenderer {
public:
    struct Triangle {
        zVector corners[3];
        zVector2 uvs[3];
        bool hasUVs;
        float colour[4];
        zTexture* texture;
        uint32_t flags;
    };

    RecordingRenderer(Tavrin* core, float width, float height) : zNullRenderer(core, true)
    {
        outputWidth = width;
        outputHeight = height;
    }
    void DrawTriangle(const zVector* corners, const float* colour, const zVector2* uvs, zTexture* texture,
                      uint32_t drawFlags) override
    {
        Triangle t{};
        for (int i = 0; i < 3; ++i) {
            t.corners[i] = corners[i];
            if (uvs != nullptr)
                t.uvs[i] = uvs[i];
        }
        t.hasUVs = uvs != nullptr;
        for (int i = 0; i < 4; ++i)
            t.colour[i] = colour != nullptr ? colour[i] : 1.0f;
        t.texture = texture;
        t.flags = drawFlags;
        triangles.push_back(t);
    }
    void UpdateTexture(zTexture* texture, const uint8_t*, int32_t, int32_t, int32_t, int32_t) override
    {
        uploads.push_back(texture);
    }
    void SetProjectionMatrix(const zMatrix4& matrix) override { projections.push_back(matrix); }
    void FreeTexture(zTexture* texture) override { freed.push_back(texture); }

    void Reset()
    {
        triangles.clear();
        uploads.clear();
        projections.clear();
    }

    std::vector<Triangle> triangles;
    std::vector<zTexture*> uploads;
    std::vector<zTexture*> freed;
    std::vector<zMatrix4> projections;
};

// An event as a handler saw it.
struct SeenEvent {
    const void* target; // the widget or window whose handler ran
    int32_t event;
    zUIEventArgs args;
};

class RecordingHandler : public zUIEventHandler {
public:
    RecordingHandler(std::vector<SeenEvent>& log, const void* target) : log(log), target(target) {}
    void Call(int32_t event, const zUIEventArgs& args) override { log.push_back({target, event, args}); }

    std::vector<SeenEvent>& log;
    const void* target;
};

// A 2D scene with a core, a recording renderer of 1280 x 960 (the scene's
// virtual size, so scene units are output pixels) and a fake mouse.
class SceneFixture : public FontSystemTest {
protected:
    void SetUp() override
    {
        FontSystemTest::SetUp();
        GlobalFrameDelta = 0;
        GlobalRawFrameDelta = 0;
        renderer = std::make_unique<RecordingRenderer>(&core, 1280.0f, 960.0f);
        scene = std::make_unique<zScene2D>(&core, nullptr, &input);
    }
    void TearDown() override
    {
        scene.reset();
        renderer.reset();
        FontSystemTest::TearDown();
    }

    // Moves the cursor (client pixels) and sets the buttons, then runs a frame.
    void Frame(int32_t x, int32_t y, bool left = false, bool right = false)
    {
        input.x = x;
        input.y = y;
        input.down.clear();
        if (left)
            input.down.insert(VK_LBUTTON);
        if (right)
            input.down.insert(VK_RBUTTON);
        scene->Render();
    }

    // Listens to every event of a widget or window.
    template <class T> void Listen(T* target)
    {
        for (int32_t e = 0; e < UIEventCount; ++e)
            target->handlers.SetHandler(e, std::make_shared<RecordingHandler>(events, target));
    }

    // The events seen, as (target, event) pairs, and clears them.
    std::vector<std::pair<const void*, int32_t>> Take()
    {
        std::vector<std::pair<const void*, int32_t>> out;
        for (const SeenEvent& e : events)
            out.emplace_back(e.target, e.event);
        events.clear();
        return out;
    }

    Tavrin core;
    FakeInputSource input;
    std::unique_ptr<RecordingRenderer> renderer;
    std::unique_ptr<zScene2D> scene;
    std::vector<SeenEvent> events;
};
