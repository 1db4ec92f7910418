#pragma once

#include "ui/zPictureWidget.h"
#include "ui/zTextWidget.h"

// A check box: the box picture ("ui/ui_check_true.tga" or
// "ui/ui_check_false.tga") followed by its label.
class zCheckWidget : public zWidget {
public:
    zCheckWidget(zScene2D* scene, int32_t id, const char* label = nullptr, bool state = false);

    void SetState(bool newState);
    bool GetState() const { return state != 0; }

    void Invalidate() override;
    void Update() override;
    void Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;

    zBitmapWidget box;
    zTextWidget label;
    uint8_t state = 0;
};
