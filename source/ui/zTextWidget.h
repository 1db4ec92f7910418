#pragma once

#include "framework/tools/zString.h"
#include "ui/zTextParameters.h"
#include "ui/zWidget.h"

// A text laid out and drawn with a TrueType font; it fills its cell's width
// by default (hAlign 6) and aligns its text there through its parameters.
class zTextWidget : public zWidget {
public:
    // A null font takes the scene's default font; size 0 draws nothing until
    // a size is set. Colour starts opaque white.
    zTextWidget(zScene2D* scene, int32_t id, const char* text = nullptr, zTrueTypeFont* font = nullptr,
                int32_t size = 0);

    void SetText(const char* text);
    // Not owned: fonts belong to the font system (zScene2D::OpenFont).
    void SetFont(zTrueTypeFont* font);
    // Pixel size; also the face's current size.
    void SetSize(int32_t size);
    // Components 0..1, stored as 0..255.
    void SetColor(float r, float g, float b, float a);
    // Copies the whole block when some field differs.
    void SetParameters(const zTextParameters& newParameters);
    const zTextParameters& GetParameters() const { return parameters; }
    const zString& GetText() const { return text; }

    void Update() override;
    void Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;

    zTextParameters parameters;
    zString text;
};
