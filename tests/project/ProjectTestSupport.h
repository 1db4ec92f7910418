#pragma once

#include "core/render/zNullRenderer.h"
#include "core/zad/Tavrin.h"
#include "manager_binding/SqBinding.h"
#include "project/zProject.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

// A null renderer that remembers how each clear was asked for: "C" for colour
// and depth, "D" for depth only.
class ClearRecordingRenderer : public zNullRenderer {
public:
    explicit ClearRecordingRenderer(Tavrin* owner) : zNullRenderer(owner, true) {}
    void Clear(float, float, float, float, uint32_t flags) override { clears += flags != 0 ? "D" : "C"; }
    std::string clears;
};

// A project on a core, working in a scratch directory where the test writes
// its scene and script files.
class ProjectFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::current_path(dir.Path());
        renderer = std::make_unique<ClearRecordingRenderer>(&core);
        project = std::make_unique<zProject>(&core, SqRegisterBindings);
    }
    void TearDown() override
    {
        project.reset();
        renderer.reset();
    }

    // A 2D scene file whose unit is the class of that name in the script.
    void Write2DScene(const std::string& file, const std::string& script, const std::string& className)
    {
        dir.Write(file, "<ZML=1.0>\n<Scene2d=<ScriptUnit=<Script=\"" + script + "\"><Class=\"" + className + "\">>>\n");
    }

    // The script lines printed since the capture began, without the prefix.
    std::vector<std::string> ScriptLines() const
    {
        std::vector<std::string> out;
        for (const std::string& line : log.lines) {
            if (line.rfind("[S] ", 0) == 0)
                out.push_back(line.substr(4, line.size() - 5));
        }
        return out;
    }

    TempDir dir;
    FileSystemGuard guard;
    LogCapture log;
    Tavrin core;
    std::unique_ptr<ClearRecordingRenderer> renderer;
    std::unique_ptr<zProject> project;
};
