#pragma once

#include "core/zad/Tavrin.h"
#include "framework/data_structure/ztLinkedList.h"
#include "framework/filesystem/zIOArchiveFS.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/tools/zString.h"
#include "project/zProject.h"

#include <cstdint>

class zMixer;
class zProperty;
class zRenderer;
class zScene;
class zSMixMixer;

// Set by the missing-resource hooks while anything loads; the main loop ends
// the run on it unless "-ignore_missing" was given.
extern uint8_t ResourceMissingFlag;
void OnResourceMissing(zString& path);

// Process exit codes of the application.
enum TavrinExitCode : int {
    TavrinExitNormal = 0,
    TavrinExitCommandLine = 1,
    TavrinExitSetup = 2,
    TavrinExitAbnormal = 3,
};

// The stand-alone application: configuration, command line, renderer and mixer
// chosen by id, data source, project and (in scene mode) the scene, the main
// loop and shutdown. One per process, main thread only.
//
// The viewer owns everything it creates: the core, the project (whose script
// master runs every script of the run), the renderer and mixer made by id, the
// scene and the defines. Shutdown may run twice (once by the caller, once by
// the destructor); every step tolerates it.
class TavrinViewer {
public:
    TavrinViewer();
    virtual ~TavrinViewer();
    TavrinViewer(const TavrinViewer&) = delete;
    TavrinViewer& operator=(const TavrinViewer&) = delete;

    // False when Escape (or closing the window) ends the run.
    virtual bool PumpMessages();
    // An argument no option matched; the viewer knows none and returns false.
    virtual bool ParseExtraParameter(int argc, char** argv, int index);
    // Called after the usage text.
    virtual void PrintUsageHook();

    // Clears the missing-resource flag, installs the hooks, prints the banner
    // and registers the picture codecs.
    void Init();
    // Reads the ZML configuration; false (nothing changed) when it cannot be
    // loaded. A key of another type than expected is ignored.
    bool LoadConfiguration(const char* path);
    // False, with one error logged (or the usage printed), when rejected.
    bool ParseCommandLine(int argc, char** argv);
    void PrintUsage();
    void PrintBanner();

    // Every set-up step in order; false at the first that fails.
    bool Setup();
    bool CreateRenderer();
    bool CreateMixer();
    // The renderer settings from the configuration, then "-safe_mode" on top.
    bool ApplyRendererSettings();
    bool SetupEnvironment();
    bool SetupInput();

    // SIGINT and SIGTERM end the run (PlatformStop.h); a frame overdue after
    // the signal has the project's scripts stopped. The executable's run only.
    void EnableStopSignals();
    // One frame; false ends the loop (also after a stop signal).
    bool Frame();
    // True when the run must end with exit code 3 (also when a frame was
    // overdue after a stop signal).
    bool CheckAbnormalTermination();
    // True once the file mixer failed to write its WAV file (kept after
    // Shutdown): the run then ends with exit code 3.
    bool OutputFailed();
    bool Shutdown();

    zIOArchiveFS archiveFS;
    zMetaFile configuration;
    zScene* scene = nullptr;
    // One property per "-Ds", "-Di", "-Df", owned.
    ztLinkedList<zProperty*> defines;
    ztLinkedList<zString> includes;
    ztLinkedList<zString> searchPaths;
    int32_t archiveMode = 0;
    int32_t projectMode = 0;
    zString rendererId{"gl2"};
    zString mixerId{"al"};
    zString mixerOutputFile;
    zString dataPath{"./"};
    zString inputFile{"scene.zms"};
    bool ignoreEscape = false;
    bool ignoreMissing = false;
    bool fallbackDiskFS = false;
    bool safeMode = false;
    bool fullScreen = false;
    int32_t width = 800;
    int32_t height = 600;
    float aspectRatio = 1.0f;
    Tavrin core;
    // Owned; null while the core's null renderer or mixer is current.
    zRenderer* renderer = nullptr;
    zMixer* mixer = nullptr;
    // The mixer again when its id is "soft" or "file" (its per-frame step).
    zSMixMixer* softMixer = nullptr;
    // The mixer again when its id is "file".
    zSMixMixer* fileMixer = nullptr;
    zProject project;

private:
    // The file system that was current before the archive took its place.
    zIOBaseFS* previousFS = nullptr;
    bool archiveMounted = false;
    bool outputFailed = false;
    bool stopCallbackSet = false;
};

// The directory part of argv[0] with its separator ("/", "\\" or ":"); when
// argv[0] names no directory, the directory the executable really lives in
// (empty when that cannot be found either).
zString TavrinExecutableDirectory(const char* argv0);

// Where "tavrin.conf" is read from: the folder the executable really lives in,
// with its separator, whatever link or path started it; the directory of
// argv[0] (TavrinExecutableDirectory) when the system cannot say.
zString TavrinConfigurationDirectory(const char* argv0);

// The engine's own data folder ("default.ttf", the interface's pictures under
// "ui/", the shader library and its noise picture), found from where the
// executable really lives, symbolic links resolved: DIR/share/tavrin for an
// installed DIR/bin/tavrin, the build's data folder for build/bin/tavrin.
// Absolute, without a trailing '/'; empty when neither folder exists.
zString TavrinDataDirectory();

// The whole run: what main does with its arguments; returns the exit code.
int TavrinMain(int argc, char** argv);
