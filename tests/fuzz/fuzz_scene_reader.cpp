// Scene files: the reader, proxies, set-up, a few frames and the writer.
// The input holds several ZML files separated by lines "===": the first is
// "scene.zml", the next ones "f1.zml", "f2.zml" and so on. Files are served
// from memory only, and the scene has no core, so nothing reads the disk.
#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager/scene/zScene.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

using Files = std::map<std::string, std::string>;

bool LoadFromMemory(const char* path, zMetaFile& document, void* context)
{
    const Files& files = *static_cast<const Files*>(context);
    auto at = files.find(path != nullptr ? path : "");
    if (at == files.end())
        return false;
    return zMetaParser::LoadText(at->second.data(), at->second.size(), &document, at->first.c_str());
}

Files Split(const uint8_t* data, size_t size)
{
    Files files;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string separator = "\n===\n";
    size_t start = 0;
    for (int index = 0; index < 8; ++index) {
        const size_t end = input.find(separator, start);
        const std::string name = index == 0 ? "scene.zml" : "f" + std::to_string(index) + ".zml";
        files[name] = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos)
            break;
        start = end + separator.size();
    }
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);
    if (size > 1 << 16)
        return 0;
    Files files = Split(data, size);
    GlobalFrameDelta = 166;

    auto scene = std::make_unique<zScene>(nullptr, nullptr);
    scene->SetFileLoader(LoadFromMemory, &files);
    zGroup* group = nullptr;
    if (scene->FromMetaFileStoreGroup("scene.zml", nullptr, zScene::LoadAll, 0)) {
        // The same file again, into a group, to exercise the renumbering.
        scene->FromMetaFileStoreGroup("scene.zml", &group, zScene::LoadAll, 0);
        scene->Setup(true, 64);
        scene->Reset();
        if (scene->currentCamera == nullptr)
            scene->AddCamera("fuzz");
        scene->physics.clock = [] { return uint32_t(1); };
        for (int frame = 0; frame < 3; ++frame)
            scene->Update(zScene::UpdateAll);
        if (!scene->allItems.empty()) {
            scene->DuplicateItem(scene->allItems.front());
            scene->DeleteItem(scene->allItems.back());
        }
        scene->Update(zScene::UpdateAll);

        zMetaFile out("out.zml");
        out.AddRootTag(scene->AsMetaTag(&out, nullptr, zScene::LoadAll));
        std::string text;
        zMetaParser::SaveText(&out, text);
        if (group != nullptr) {
            std::unique_ptr<zMetaTag> part(scene->AsMetaTag(nullptr, group, zScene::LoadAll));
        }
        // What was written reads back.
        files["back.zml"] = text;
        zScene again(nullptr, nullptr);
        again.SetFileLoader(LoadFromMemory, &files);
        again.FromMetaFileStoreGroup("back.zml", nullptr, zScene::LoadAll, 0);
    }
    scene->DeleteContent(false);
    return 0;
}
