#pragma once

#include "framework/tools/zString.h"
#include "ui/zWidget.h"

// Draws a 32-bit picture aligned in its cell, alpha-blended over the target.
class zPictureWidget : public zWidget {
public:
    zPictureWidget(zScene2D* scene, int32_t id) : zWidget(scene, id) { typeId = TypePicture; }
    void Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;

    // Not owned by this class; null draws nothing.
    zPicture* picture = nullptr;
};

// A picture of its own, drawn into by scripts.
class zCanvasWidget : public zPictureWidget {
public:
    // A width x height picture in the interface's 32-bit format, transparent.
    zCanvasWidget(zScene2D* scene, int32_t id, int32_t width, int32_t height);
    zPicture canvas;
};

// A picture from the scene's picture cache.
class zBitmapWidget : public zPictureWidget {
public:
    zBitmapWidget(zScene2D* scene, int32_t id, const char* path = nullptr);
    // Loads through the scene's cache; false when it cannot load (the current
    // picture stays). A different picture invalidates the widget.
    bool SetPicture(const char* path);

    zString fileName;
};
