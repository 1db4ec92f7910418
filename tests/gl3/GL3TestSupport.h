#pragma once

#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/object/zObject.h"
#include "core/render/zRendererProperty.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "platform/PlatformVideo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

// GL tests run on Mesa's software rasteriser through SDL's offscreen driver:
// no display, no GPU.
inline void UseSoftwareGL()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("LP_NUM_THREADS", "2", 0);
    // The deferred frame loads "default_shaders.zml" and "noise.tga" by name.
    static const char* const shaderDirectory = TAVRIN_TEST_DATA "/../../data/shaders";
    for (auto* node = GlobalSearchPathList.GetFirst(); node != nullptr; node = node->next)
        if (node->value.EqualsCString(shaderDirectory))
            return;
    GlobalSearchPathList.Add(zString(shaderDirectory));
}

// Compares a bottom-row-first RGB read-back with the reference PPM
// tests/data/gl3/<name>.ppm (rows top first); TAVRIN_UPDATE_GOLDENS writes the
// reference instead and skips. Rasterisers differ by a few units of colour and
// along edges: a channel counts as differing beyond `tolerance`, and at most
// `allowed` channels may.
inline void ExpectReferenceImage(const std::vector<uint8_t>& image, int32_t width, int32_t height, const char* name,
                                 int tolerance, int allowed)
{
    const std::string path = std::string(TAVRIN_TEST_DATA) + "/gl3/" + name + ".ppm";
    if (std::getenv("TAVRIN_UPDATE_GOLDENS") != nullptr) {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        for (int32_t row = height - 1; row >= 0; --row)
            out.write(reinterpret_cast<const char*>(&image[size_t(row) * width * 3]), width * 3);
        GTEST_SKIP() << "reference written to " << path;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << path;
    std::string magic;
    int w = 0, h = 0, maximum = 0;
    in >> magic >> w >> h >> maximum;
    in.get();
    ASSERT_EQ(magic, "P6");
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    std::vector<uint8_t> reference(size_t(width) * height * 3);
    in.read(reinterpret_cast<char*>(reference.data()), std::streamsize(reference.size()));
    ASSERT_TRUE(in.good());
    int differing = 0;
    for (int32_t row = 0; row < height; ++row)
        for (int32_t col = 0; col < width * 3; ++col) {
            const int got = image[size_t(height - 1 - row) * width * 3 + col];
            const int want = reference[size_t(row) * width * 3 + col];
            differing += std::abs(got - want) > tolerance ? 1 : 0;
        }
    EXPECT_LE(differing, allowed) << "channels differing from " << path;
}

// Entry-point overrides for the renderer's resolver: a name mapped to null is
// missing, a name mapped to a function is replaced by it.
struct FakeDriver {
    static inline std::map<std::string, void*> overrides;
    static void* Resolve(const char* name)
    {
        auto it = overrides.find(name);
        if (it != overrides.end())
            return it->second;
        return PlatformGetGLProcAddress(name);
    }
};

// A quad in the z = depth plane facing the camera at the origin (normal -z),
// centred at (cx, cy), half-size h, one material.
inline void FillQuad(zGeometry& g, float cx, float cy, float h, float depth)
{
    g.vertexCount = 4;
    g.vertices = new zVector[4]{{cx - h, cy - h, depth}, {cx - h, cy + h, depth}, {cx + h, cy + h, depth},
                                {cx + h, cy - h, depth}};
    g.bindingCount = 4;
    g.bindingIndices = new int32_t[4]{0, 1, 2, 3};
    g.polygonCount = 1;
    g.polygons = new zPolygon[1];
    g.polygons[0].vertexCount = 4;
    g.polygons[0].indices = g.bindingIndices;
    g.vertexNormals = new zVector[4];
    for (int i = 0; i < 4; ++i)
        g.vertexNormals[i] = zVector(0.0f, 0.0f, -1.0f);
    g.uvSetCount = 1;
    g.uvSets[0] = new zUV[4]{{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    g.AllocateMaterials(1, true);
    g.materials[0]->name = "m";
}

// Answers the renderer's light and ambient requests from a fixed list.
struct LightSource {
    std::vector<zLight*> lights;
    float ambient[3] = {0.0f, 0.0f, 0.0f};
    int visibleRequests = 0;

    static bool Callback(int32_t kind, zRendererPropertyRequest& request)
    {
        auto* self = static_cast<LightSource*>(request.context);
        if (kind == PropertyVisibleLights) {
            ++self->visibleRequests;
            request.count = 0;
            for (zLight* l : self->lights)
                request.lights[request.count++] = l;
            request.handled = 1;
            return true;
        }
        if (kind == PropertyAmbient) {
            for (int i = 0; i < 3; ++i)
                request.ambient[i] = self->ambient[i];
            request.handled = 1;
            return true;
        }
        return false;
    }
};

// A renderer with its core, opened in a hidden window of the given size.
class GLRendererTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { UseSoftwareGL(); }

    void SetUp() override
    {
        FakeDriver::overrides.clear();
        renderer = std::make_unique<zGL3Renderer>(&core);
        renderer->procResolver = &FakeDriver::Resolve;
    }
    void TearDown() override
    {
        renderer.reset();
        FakeDriver::overrides.clear();
    }

    bool Open(int32_t width = 64, int32_t height = 48)
    {
        return renderer->OpenVideoMode(width, height, 32, zGL3Renderer::ModeHidden);
    }

    // The back buffer, bottom row first, RGB bytes.
    std::vector<uint8_t> ReadBack(int32_t width, int32_t height)
    {
        std::vector<uint8_t> pixels(size_t(width) * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    Tavrin core;
    std::unique_ptr<zGL3Renderer> renderer;
};
