#include "applications/skorva/TavrinViewer.h"

#include "bfgt/picture/zPictureIO.h"
#include "core/camera/zCamera.h"
#include "core/render/zRenderer.h"
#include "core/render/zRendererSettings.h"
#include "core/sound/zMixer.h"
#include "al/zALMixer.h"
#include "framework/data_structure/zProperty.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "framework/filesystem/zStream.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/device/zInputDeviceInfo.h"
#include "framework/system/zLogStream.h"
#include "gl3/system/zGL3Renderer.h"
#include "manager/item/zMItem.h"
#include "manager/item/zMKinds.h"
#include "manager/motion/zChannel.h"
#include "manager/motion/zMotion.h"
#include "manager/motion/zMotionPlayer.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"
#include "platform/PlatformFile.h"
#include "smix/zSMixMixer.h"
#include "ui/zScene2D.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

uint8_t ResourceMissingFlag = 0;

void OnResourceMissing(zString&)
{
    ResourceMissingFlag = 1;
}

namespace {

void Line(const char* text)
{
    *GlobalLogStream << text << "\n";
}

bool Equals(const char* a, const char* b)
{
    return std::strcmp(a, b) == 0;
}

} // namespace

TavrinViewer::TavrinViewer() : project(&core, SqRegisterBindings) {}

void TavrinViewer::Init()
{
    ResourceMissingFlag = 0;
    SetResourceMissingHook(OnResourceMissing);
    PrintBanner();
    RegisterPictureCodecs(false);
}

void TavrinViewer::PrintBanner()
{
    Line("Tavrin stand-alone executable.");
    *GlobalLogStream << "Version: " << GetVersionString() << "\n";
    DumpMemoryLayout(true);
    Line("Scene memory layout:");
    Line("");
    const struct {
        const char* name;
        unsigned size;
    } types[] = {
        {"zScene", unsigned(sizeof(zScene))},
        {"zMItem", unsigned(sizeof(zMItem))},
        {"zChannel", unsigned(sizeof(zChannel))},
        {"zMotion", unsigned(sizeof(zMotion))},
        {"zMotionPlayer", unsigned(sizeof(zMotionPlayer))},
        {"zMObject", unsigned(sizeof(zMObject))},
        {"zMCamera", unsigned(sizeof(zMCamera))},
        {"zMLight", unsigned(sizeof(zMLight))},
    };
    for (const auto& type : types)
        *GlobalLogStream << "    sizeof(" << type.name << ") = " << type.size << "\n";
    Line("");
}

bool TavrinViewer::LoadConfiguration(const char* path)
{
    zMetaFile loaded;
    if (path == nullptr || !zMetaParser::Load(path, &loaded))
        return false;
    configuration.Swap(loaded);
    if (const zMetaTag* tag = configuration.GetTypedTag("Fullscreen", zMetaTag::TypeInteger))
        fullScreen = tag->GetInteger() != 0;
    if (const zMetaTag* tag = configuration.GetTypedTag("Width", zMetaTag::TypeInteger))
        width = tag->GetInteger();
    if (const zMetaTag* tag = configuration.GetTypedTag("Height", zMetaTag::TypeInteger))
        height = tag->GetInteger();
    if (const zMetaTag* tag = configuration.GetTypedTag("AspectRatio", zMetaTag::TypeFloat))
        aspectRatio = tag->GetFloat();
    GlobalAspectRatio = aspectRatio;
    return true;
}

void TavrinViewer::PrintUsage()
{
    static const char* const lines[] = {
        "Usage: tavrin input(.zms|.zgp) <-P> <-f|-A> <-S>",
        "",
        "Basic usage:",
        "",
        "-P: Execute a project file (default: scene file).",
        "",
        "Data source (default: -f ./):",
        "",
        "-f <base path>     : Input data from the file system.",
        "-A <archive path>  : Input data from an archive.",
        "",
        "Resource path:",
        "",
        "-S <search path>   : Additional search path.",
        "",
        "Data output (default: -r gl2 -m al):",
        "",
        "-r <ID>            : Output 3d renderer ('tavrin dummy -r list' for valid IDs).",
        "-m <ID>            : Output audio mixer ('tavrin dummy -m list' for valid IDs).",
        "",
        "Script interface:",
        "",
        "-I <include>       : Include a script.",
        "-Ds <var> <string> : Define and initialize a variable.",
        "-Di <var> <int>    : Define and initialize a variable.",
        "-Df <var> <float>  : Define and initialize a variable.",
        "",
        "Program flags:",
        "",
        "-ignore_esc        : Do not exit on escape pressed.",
        "-ignore_missing    : Do not exit on missing resource.",
        "-safe_mode         : Enable renderer/mixer safe-mode.",
        "-fallback_disk_fs  : Fall back to the disk file system.",
        "-log_level <mask>  : Set the engine log level mask (eg. -log_level !S*).",
        "                     n: None",
        "                     s: Standard",
        "                     H: Header",
        "                     *: Warning",
        "                     !: Error",
        "                     S: Script",
        "                     a: All (default)",
        "",
    };
    for (const char* text : lines)
        Line(text);
    PrintUsageHook();
}

void TavrinViewer::PrintUsageHook() {}

bool TavrinViewer::ParseExtraParameter(int, char**, int)
{
    return false;
}

bool TavrinViewer::ParseCommandLine(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage();
        return false;
    }
    inputFile.Assign(argv[1]);

    const auto reject = [](const char* message) {
        LogError("TavrinViewer::ParseCommandLine") << message << "\n";
        return false;
    };
    // A define: name and value follow the option.
    const auto define = [&](int& i, zProperty::Type type, const char* incomplete) {
        if (i + 2 >= argc)
            return reject(incomplete);
        const char* name = argv[i + 1];
        const char* value = argv[i + 2];
        zProperty* property = nullptr;
        if (type == zProperty::String)
            property = new (std::nothrow) zProperty(name, value);
        else if (type == zProperty::Integer)
            property = new (std::nothrow) zProperty(name, int32_t(std::atoi(value)));
        else
            property = new (std::nothrow) zProperty(name, float(std::atof(value)));
        if (property == nullptr || defines.Add(property) == nullptr) {
            delete property;
            return reject("Failed to allocate define structure.");
        }
        i += 2;
        return true;
    };

    for (int i = 2; i < argc; ++i) {
        const char* argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument[0] != '\0' && Equals(argument, "-P")) {
            projectMode = 1;
        } else if (argument[0] != '\0' && Equals(argument, "-log_level")) {
            if (!hasValue)
                return reject("-log_level: Missing mask.");
            GlobalLog.VerbosityMask = zLogStream::MaskFromLetters(argv[++i]);
        } else if (Equals(argument, "-ignore_esc")) {
            ignoreEscape = true;
        } else if (Equals(argument, "-ignore_missing")) {
            ignoreMissing = true;
        } else if (Equals(argument, "-fallback_disk_fs")) {
            fallbackDiskFS = true;
        } else if (Equals(argument, "-safe_mode")) {
            safeMode = true;
        } else if (Equals(argument, "-f")) {
            if (!hasValue)
                return reject("-f: Missing root path.");
            dataPath.Assign(argv[++i]);
        } else if (Equals(argument, "-A")) {
            if (!hasValue)
                return reject("-A: Missing archive path.");
            dataPath.Assign(argv[++i]);
            archiveMode = 1;
        } else if (Equals(argument, "-r")) {
            if (!hasValue)
                return reject("-r: Missing renderer id.");
            rendererId.Assign(argv[++i]);
        } else if (Equals(argument, "-m")) {
            if (!hasValue)
                return reject("-m: Missing mixer id.");
            mixerId.Assign(argv[++i]);
            if (Equals(argv[i], "file")) {
                if (i + 1 >= argc)
                    return reject("-m: Missing mixer output file.");
                mixerOutputFile.Assign(argv[++i]);
            }
        } else if (Equals(argument, "-S")) {
            if (!hasValue)
                return reject("-S: Missing search path.");
            if (searchPaths.Add(zString(argv[++i])) == nullptr)
                return reject("Failed to allocate search path structure.");
        } else if (Equals(argument, "-I")) {
            if (!hasValue)
                return reject("-I: Missing include path.");
            if (includes.Add(zString(argv[++i])) == nullptr)
                return reject("Failed to allocate include structure.");
        } else if (Equals(argument, "-Ds")) {
            if (!define(i, zProperty::String, "-Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")"))
                return false;
        } else if (Equals(argument, "-Di")) {
            if (!define(i, zProperty::Integer, "-Di: Incomplete key-value pair. (eg. -Di my_var 5)"))
                return false;
        } else if (Equals(argument, "-Df")) {
            if (!define(i, zProperty::Float, "-Df: Incomplete key-value pair. (eg. -Df my_var 5.5)"))
                return false;
        } else if (!ParseExtraParameter(argc, argv, i)) {
            LogError("TavrinViewer::ParseCommandLine") << "Unknown command line parameter '" << argument << "'\n";
            return false;
        }
    }
    return true;
}

bool TavrinViewer::Setup()
{
    if (!CreateRenderer())
        return false;
    if (!CreateMixer())
        return false;
    if (!ApplyRendererSettings())
        return false;
    if (!SetupEnvironment())
        return false;
    if (!core.renderer->OpenVideo(width, height, 32, fullScreen)) {
        LogError("TavrinViewer::Setup") << "Failed to open the video output of renderer '"
                                        << (rendererId.Get() != nullptr ? rendererId.Get() : "") << "'.\n";
        return false;
    }
    if (!core.mixer->OpenAudio()) {
        LogError("TavrinViewer::Setup") << "Failed to open the audio output of mixer '"
                                        << (mixerId.Get() != nullptr ? mixerId.Get() : "") << "'.\n";
        return false;
    }
    InitializeDirectInput(static_cast<PlatformWindow*>(core.renderer->GetWindowHandle()));
    return SetupInput();
}

bool TavrinViewer::CreateRenderer()
{
    const char* id = rendererId.Get() != nullptr ? rendererId.Get() : "";
    if (Equals(id, "none"))
        return true;
    if (Equals(id, "list")) {
        Line("Available renderer ID:");
        Line("");
        Line("'none'\t\t\t\t: No video output.");
        Line("'gl2'\t\t\t\t: OpenGL 2.0 based hardware renderer.");
        Line("");
        return false;
    }
    if (Equals(id, "gl2")) {
        auto* created = new (std::nothrow) zGL3Renderer(&core, true);
        if (created == nullptr) {
            LogError("TavrinViewer::CreateRenderer") << "Failed to create the OpenGL renderer.\n";
            return false;
        }
        renderer = created;
        // Presets; the configuration's renderer settings then set or clear each.
        renderer->effectFlags |= zRendererEffect::ShadowMapping | zRendererEffect::Bloom |
                                 zRendererEffect::DepthOfField | zRendererEffect::LinearShadow |
                                 zRendererEffect::FramebufferAsTexture;
        renderer->effectFlags &= ~zRendererEffect::AmbientOcclusion;
        renderer->optionFlags |= zRendererOption::TextureForceTrueColor;
        renderer->optionFlags &= ~zRendererOption::OptimizeVideoRam;
        if (safeMode)
            renderer->optionFlags |= zRendererOption::DisableShader;
        return true;
    }
    return false;
}

bool TavrinViewer::CreateMixer()
{
    const char* id = mixerId.Get() != nullptr ? mixerId.Get() : "";
    if (Equals(id, "none"))
        return true;
    if (Equals(id, "list")) {
        Line("Available mixer ID:");
        Line("");
        Line("'none'\t\t\t\t: No sound output.");
        Line("'al'\t\t\t\t: OpenAL based hardware mixer.");
        Line("'soft'\t\t\t\t: Platform independent software mixer.");
        Line("'file' <output.wav>\t: Software mixer with output to file.");
        Line("");
        return false;
    }
    if (Equals(id, "al")) {
        mixer = new (std::nothrow) zALMixer(&core, true);
        return mixer != nullptr;
    }
    if (Equals(id, "soft") || Equals(id, "file")) {
        auto* created = new (std::nothrow) zSMixMixer(&core, true);
        if (created == nullptr)
            return false;
        mixer = created;
        softMixer = created;
        if (!Equals(id, "file"))
            return true;
        fileMixer = created;
        // A file mixer without its file would play through the audio device
        // instead and write nothing: the run the user asked for cannot happen.
        const char* path = mixerOutputFile.Get() != nullptr ? mixerOutputFile.Get() : "";
        if (!created->OpenWaveFile(path)) {
            LogError("TavrinViewer::CreateMixer") << "Cannot open the mixer output file '" << path << "'.\n";
            return false;
        }
        return true;
    }
    return false;
}

bool TavrinViewer::ApplyRendererSettings()
{
    if (!core.LoadRendererSettings(nullptr, &configuration))
        return false;
    // After the settings, which clear every flag the configuration does not name.
    if (safeMode && renderer != nullptr)
        renderer->optionFlags |= zRendererOption::DisableShader;
    return true;
}

bool TavrinViewer::SetupEnvironment()
{
    if (archiveMode == 0) {
        GlobalSearchPathList.Add(dataPath);
    } else {
        // Verbose: the directory scan lists every entry as it is found.
        if (!archiveFS.Connect(dataPath.Get(), false, false, nullptr, true))
            return false;
        previousFS = zStream::GetCurrentFS();
        zStream::SetCurrentFS(&archiveFS);
        archiveMounted = true;
        if (fallbackDiskFS)
            zStream::QueueFallbackFS(previousFS);
    }
    for (const ztLinkedList<zString>::Node* node = searchPaths.GetFirst(); node != nullptr; node = node->next)
        GlobalSearchPathList.Add(node->value);
    // The engine's own files come last, so that a scene's folder or a "-S"
    // path can replace any of them.
    const zString engineData = TavrinDataDirectory();
    if (!engineData.IsEmpty())
        GlobalSearchPathList.Add(engineData);

    if (projectMode != 0 && !project.LoadFromFile(inputFile.Get()))
        return false;
    if (!project.Open(projectMode != 0))
        return false;

    zScriptMaster& master = project.GetMaster();
    master.AddScript("scriptlib/zad.nut");
    for (const ztLinkedList<zString>::Node* node = includes.GetFirst(); node != nullptr; node = node->next)
        master.AddScript(node->value.Get() != nullptr ? node->value.Get() : "");
    for (const ztLinkedList<zProperty*>::Node* node = defines.GetFirst(); node != nullptr; node = node->next)
        master.SetGlobalFromProperty(*node->value);
    return true;
}

zString TavrinDataDirectory()
{
    std::string executable;
    if (!PlatformExecutableDirectory(executable))
        return zString();
    // Relative to the executable's folder, as the build lays them out.
    for (const char* relative : {TAVRIN_DATA_FROM_BIN_INSTALLED, TAVRIN_DATA_FROM_BIN_BUILD}) {
        std::string real;
        if (PlatformRealDirectory((executable + relative).c_str(), real))
            return zString(real.c_str());
    }
    return zString();
}

bool TavrinViewer::SetupInput()
{
    zScene2D::OpenFontSystem();
    if (projectMode != 0)
        return project.Setup();

    scene = new (std::nothrow) zScene(&core, &project.GetMaster());
    if (scene == nullptr) {
        LogError("TavrinViewer::SetupInput") << "Failed to create scene object.\n";
        return false;
    }
    if (!scene->LoadFromFile(inputFile.Get()))
        return false;
    core.SetupResources();
    scene->RegisterAsPropertyCallback(core.renderer);
    scene->RegisterScriptGlobals();
    scene->Setup(true, 1024);
    scene->Reset();
    return true;
}
