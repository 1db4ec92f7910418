#pragma once

#include <squirrel.h>

#include <cstdint>

// Registrars of the native function families built on the 2D interface,
// pictures, ZML documents and input devices. Called by SqRegisterBindings at
// their places in its list; each registers its functions and constants in the
// root table.

// "Picture…" functions and the "Blend…" constants. Picture handles made by
// "PictureNew" own their picture.
void SqRegisterPictureFunctions(HSQUIRRELVM v);
// "Include", "FileExists" and the mouse, keyboard and game-controller
// functions with their constants. Switches the program-wide mouse into
// absolute mode. Game controllers made by scripts live until "DeviceDelete".
void SqRegisterIOFunctions(HSQUIRRELVM v);
// The window-system ("UI…" and their "WindowSystem…" aliases), window and
// widget functions and the interface's constants. Windows and widgets reach
// scripts as borrowed handles: they belong to their 2D scene.
void SqRegisterUIFunctions(HSQUIRRELVM v);
// "Metafile…" and "Metatag…" functions and the "TagType_" constants. A tag
// handle goes stale (reads as a null tag) once its document is released or
// reloaded.
void SqRegisterMetafileFunctions(HSQUIRRELVM v);

// Registrars of the native function families built on the engine core; the
// master registrar calls each at its fixed place.
void SqRegisterSystemFunctions(HSQUIRRELVM v);
void SqRegisterEngineFunctions(HSQUIRRELVM v);
void SqRegisterMixerFunctions(HSQUIRRELVM v);
void SqRegisterTextureFunctions(HSQUIRRELVM v);
void SqRegisterSoundFunctions(HSQUIRRELVM v);
void SqRegisterGeometryFunctions(HSQUIRRELVM v);
void SqRegisterThreadedFunctions(HSQUIRRELVM v);

// A root-table integer constant.
void SqSetRootInteger(HSQUIRRELVM v, const char* name, SQInteger value);
// A root-table handle constant of that kind, holding no object.
void SqSetRootNullHandle(HSQUIRRELVM v, const char* name, int32_t kind);
