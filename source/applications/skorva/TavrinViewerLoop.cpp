#include "applications/skorva/TavrinViewer.h"

#include "core/render/zRenderer.h"
#include "core/sound/zMixer.h"
#include "framework/data_structure/zProperty.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zClock.h"
#include "framework/system/zLogStream.h"
#include "manager/scene/zScene.h"
#include "platform/PlatformEvents.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformStop.h"
#include "smix/zSMixMixer.h"
#include "ui/zScene2D.h"

#include <squirrel.h>

#include <cstdio>
#include <cstring>
#include <string>

bool TavrinViewer::Frame()
{
    // The WAV advances by the time the previous frame took.
    if (fileMixer != nullptr)
        fileMixer->SetFixedStep(GlobalFrameDelta);
    core.BeginDraw(true);
    bool quit = false;
    if (projectMode != 0) {
        project.Evaluate(63);
        project.Render(0);
        quit = project.IsQuitRequested();
    } else if (scene != nullptr) {
        project.UpdateScriptClock();
        scene->Update(zScene::UpdateAll);
        scene->RenderSetup(zScene::RenderFlagClear);
        scene->RenderToQueue(0);
        core.renderer->RenderQueue();
        scene->RenderUI(0);
        quit = scene->IsQuitRequested();
    }
    core.EndDraw(false, false);
    if (softMixer != nullptr)
        softMixer->Update();
    for (uint32_t& counter : core.renderer->statistics)
        counter = 0;
    SleepMilliseconds(1);
    // A stop signal ends the run after the frame; an overdue frame is reported
    // once, by the final check.
    if (PlatformStopRequested() || CheckAbnormalTermination() || quit)
        return false;
    return PumpMessages();
}

bool TavrinViewer::PumpMessages()
{
    PlatformPumpEvents();
    // Closing the window ends the run as Escape does, also under "-ignore_esc":
    // the user asked the window to go away.
    if (PlatformCloseRequested())
        return false;
    if (!ignoreEscape && PlatformEscapePressed())
        return false;
    return true;
}

bool TavrinViewer::CheckAbnormalTermination()
{
    HSQUIRRELVM v = project.GetMaster().GetVM();
    if (v != nullptr && sq_getvmstate(v) == SQ_VMSTATE_SUSPENDED)
        return true;
    if (PlatformStopOverdue()) {
        LogError("TavrinViewer::CheckAbnormalTermination")
            << "Exiting with code 3: the frame did not finish in time after the stop signal.\n";
        return true;
    }
    if (ResourceMissingFlag != 0 && !ignoreMissing) {
        LogError("TavrinViewer::CheckAbnormalTermination") << "Exiting due to missing resources.\n";
        return true;
    }
    // The mixer said so once; a capture that lost its sound ends at once.
    return OutputFailed();
}

bool TavrinViewer::OutputFailed()
{
    if (fileMixer != nullptr && fileMixer->HasOutputFailed())
        outputFailed = true;
    return outputFailed;
}

bool TavrinViewer::Shutdown()
{
    delete scene;
    scene = nullptr;
    project.Close(true);
    core.DeleteAllResources();
    zScene2D::CloseFontSystem();
    core.renderer->CloseVideo();
    core.mixer->CloseAudio();
    // Closing the WAV file may be the write that fails.
    OutputFailed();
    // Deleting them puts the core's null renderer and mixer back.
    delete renderer;
    renderer = nullptr;
    delete mixer;
    mixer = nullptr;
    softMixer = nullptr;
    fileMixer = nullptr;
    return true;
}

TavrinViewer::~TavrinViewer()
{
    // The watchdog may be asking the scripts to stop right now: the master
    // must outlive that.
    if (stopCallbackSet)
        PlatformSetStopCallback(nullptr, nullptr);
    Shutdown();
    // The archive file system dies with the viewer: nothing may still read
    // through it.
    if (archiveMounted) {
        if (zStream::GetCurrentFS() == &archiveFS)
            zStream::SetCurrentFS(previousFS);
        archiveMounted = false;
    }
    for (ztLinkedList<zProperty*>::Node* node = defines.GetFirst(); node != nullptr; node = node->next)
        delete node->value;
    defines.Clear();
}

zString TavrinExecutableDirectory(const char* argv0)
{
    const char* text = argv0 != nullptr ? argv0 : "";
    const char* cut = nullptr;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':')
            cut = p + 1;
    }
    zString directory;
    if (cut != nullptr) {
        directory.AssignRange(text, cut);
        return directory;
    }
    // Started through PATH: argv[0] holds only the name.
    std::string located;
    if (PlatformExecutableDirectory(located))
        directory.Assign(located.c_str());
    return directory;
}

zString TavrinConfigurationDirectory(const char* argv0)
{
    // Beside the engine's data, which is found from the real folder too.
    std::string real;
    if (PlatformExecutableDirectory(real))
        return zString(real.c_str());
    return TavrinExecutableDirectory(argv0);
}

namespace {

void StopScripts(void* master)
{
    static_cast<zScriptMaster*>(master)->RequestStop();
}

} // namespace

void TavrinViewer::EnableStopSignals()
{
    if (!PlatformInstallStopHandlers()) {
        LogWarning("TavrinViewer::EnableStopSignals") << "Cannot watch for stop signals.\n";
        return;
    }
    PlatformSetStopCallback(StopScripts, &project.GetMaster());
    stopCallbackSet = true;
}

int TavrinMain(int argc, char** argv)
{
    // Line by line: a run the watchdog has to end at once keeps its log.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const zString directory = TavrinConfigurationDirectory(argc > 0 ? argv[0] : nullptr);
    TavrinViewer viewer;
    viewer.EnableStopSignals();
    // A WAV written into a pipe whose reader leaves fails like a full disk.
    if (!PlatformReportBrokenPipes())
        LogWarning("TavrinMain") << "Cannot watch for closed pipes.\n";
    viewer.Init();
    const std::string configuration = std::string(directory.Get() != nullptr ? directory.Get() : "") + "tavrin.conf";
    viewer.LoadConfiguration(configuration.c_str());
    if (!viewer.ParseCommandLine(argc, argv))
        return TavrinExitCommandLine;
    if (!viewer.Setup())
        return TavrinExitSetup;
    while (!PlatformStopRequested() && viewer.Frame()) {
    }
    PlatformStopLoopEnded();
    if (viewer.CheckAbnormalTermination())
        return TavrinExitAbnormal;
    viewer.Shutdown();
    return viewer.OutputFailed() ? TavrinExitAbnormal : TavrinExitNormal;
}
