#pragma once

#include <squirrel.h>

// Registrars of the scene-side families; SqRegisterBindings calls them at
// their places in its fixed order. Handles they push borrow their objects
// (except where a function says otherwise).

// Objects: adding and deleting them, their geometry and skin motions.
void SqRegisterObjectFunctions(HSQUIRRELVM v);
// Cameras: the scene's current camera, field of view, clipping, aspect,
// culling and projection between world and screen; the global aspect ratio.
void SqRegisterCameraFunctions(HSQUIRRELVM v);
// Scene groups: set-up, activation, members, root item, motions.
void SqRegisterGroupFunctions(HSQUIRRELVM v);
// The renderer: clearing, viewport, view item, output texture, fog, effect
// flags, debug crosses and lines, raster-font text, the queue and the
// per-frame counters; the "Render…" and "WriterAlign…" constants. Fonts made
// by "RendererLoadWriterFont" are owned by their handle.
void SqRegisterRendererFunctions(HSQUIRRELVM v);
// Materials: colours and texture stages, the "NullMaterial" handle and the
// "Channel…" stage constants. Stage changes go through zMaterial::Update.
void SqRegisterMaterialFunctions(HSQUIRRELVM v);
// Lights.
void SqRegisterLightFunctions(HSQUIRRELVM v);
// Collision shapes and an item's collision masks.
void SqRegisterPhysicShapeFunctions(HSQUIRRELVM v);
// Physics constraints, and the constraints scripts create.
void SqRegisterPhysicConstraintFunctions(HSQUIRRELVM v);
// The scene: file, lifecycle, rendering, lighting and fog, items and
// groups, the physics world, ray casts.
void SqRegisterSceneFunctions(HSQUIRRELVM v);
