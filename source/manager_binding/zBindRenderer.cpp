#include "core/font/zRasterFont.h"
#include "core/render/zRenderer.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager_binding/SqFamilySupport.h"
#include "manager_binding/SqSceneFamilies.h"
#include "manager_binding/zBindInternal.h"

using namespace sqfamily;

namespace {

// Only a camera item can give the renderer a view; any other item would be
// read as a camera it is not, so it is refused with an error line and the
// view stays as it was.
SQInteger RendererSetViewItemAndApplyView(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    SQ_FETCH(zMItem, item, 3, SqPtrItem);
    if (renderer == nullptr || item == nullptr)
        return 0;
    if (item->GetKind() != zMItem::KindCamera) {
        LogError("RendererSetViewItemAndApplyView") << "Item is not a camera.\n";
        return 0;
    }
    renderer->camera = &static_cast<zMCamera*>(item)->camera;
    renderer->ApplyCamera();
    return 0;
}

SQInteger RendererSetViewport(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    if (renderer == nullptr)
        return 0;
    float width = 0.0f, height = 0.0f;
    renderer->GetViewportSize(width, height);
    renderer->SetViewport(sqbind::ToPixel(width * GetFloat(v, 3)), sqbind::ToPixel(height * GetFloat(v, 4)),
                          sqbind::ToPixel(width * GetFloat(v, 5)), sqbind::ToPixel(height * GetFloat(v, 6)));
    return 0;
}

SQInteger RendererGetViewport(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    float width = 0.0f, height = 0.0f;
    if (renderer != nullptr)
        renderer->GetViewportSize(width, height);
    return PushVector4(v, renderer != nullptr ? zVector(0.0f, 0.0f, width, height) : zVector(0.0f, 0.0f, 0.0f, 0.0f));
}

SQInteger RendererClearFrame(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    // Flags 0: colour and depth.
    if (renderer != nullptr)
        renderer->Clear(GetFloat(v, 3), GetFloat(v, 4), GetFloat(v, 5), 1.0f, 0);
    return 0;
}

SQInteger RendererSetOutputTexture(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    SQ_FETCH(zTexture, texture, 3, SqPtrTexture);
    if (renderer != nullptr)
        renderer->renderTarget = texture;
    return 0;
}

SQInteger RendererGetFogNear(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    return PushFloat(v, renderer != nullptr ? renderer->fogNear : -1.0f);
}

SQInteger RendererGetFogFar(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    return PushFloat(v, renderer != nullptr ? renderer->fogFar : -1.0f);
}

SQInteger RendererSetFog(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    const bool on = GetBool(v, 3);
    SQ_VECTOR_ARG(colour, 4);
    if (renderer != nullptr) {
        const float rgb[3] = {colour.x, colour.y, colour.z};
        renderer->SetFog(on, rgb, GetFloat(v, 5), GetFloat(v, 6));
    }
    return 0;
}

SQInteger RendererSetControlFlag(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    const uint32_t bits = uint32_t(GetInt(v, 3));
    if (renderer != nullptr) {
        if (GetBool(v, 4))
            renderer->effectFlags |= bits;
        else
            renderer->effectFlags &= ~bits;
    }
    return 0;
}

SQInteger RendererGetControlFlag(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    return PushBool(v, renderer != nullptr && (renderer->effectFlags & uint32_t(GetInt(v, 3))) != 0);
}

SQInteger RendererRenderQueue(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    if (renderer != nullptr)
        renderer->RenderQueue();
    return 0;
}

SQInteger RendererRenderQueueReset(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    if (renderer != nullptr)
        renderer->ResetItemStack();
    return 0;
}

SQInteger RendererDrawCross(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    SQ_VECTOR_ARG(position, 3);
    if (renderer != nullptr)
        renderer->DrawCross(position, 1.0f, nullptr);
    return 0;
}

SQInteger RendererDrawLine(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    SQ_VECTOR_ARG(from, 3);
    SQ_VECTOR_ARG(to, 4);
    if (renderer != nullptr)
        renderer->Line3D(from, to, nullptr);
    return 0;
}

SQInteger RendererDrawCrossColored(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    SQ_VECTOR_ARG(position, 3);
    SQ_VECTOR_ARG(colour, 4);
    if (renderer != nullptr) {
        const float rgba[4] = {colour.x, colour.y, colour.z, 1.0f};
        renderer->DrawCross(position, 1.0f, rgba);
    }
    return 0;
}

SQInteger RendererDrawLineColored(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    SQ_VECTOR_ARG(from, 3);
    SQ_VECTOR_ARG(to, 4);
    SQ_VECTOR_ARG(colour, 5);
    if (renderer != nullptr) {
        const float rgba[4] = {colour.x, colour.y, colour.z, 1.0f};
        renderer->Line3D(from, to, rgba);
    }
    return 0;
}

// The handle owns the font: it is deleted when the script drops the handle.
SQInteger RendererLoadWriterFont(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    const char* path = GetString(v, 3);
    const char* base = GetString(v, 4);
    zRasterFont* font = renderer != nullptr ? renderer->LoadRasterFont(path, base) : nullptr;
    SqPushSafePtr(v, font, SqPtrRasterFont, font != nullptr);
    return 1;
}

// The colour is the Vector's x, y, z and w.
SQInteger RendererWrite(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    SQ_FETCH(zRasterFont, font, 3, SqPtrRasterFont);
    const char* text = GetString(v, 4);
    SQ_VECTOR_ARG(colour, 10);
    if (renderer != nullptr && font != nullptr && text != nullptr) {
        const float rgba[4] = {colour.x, colour.y, colour.z, colour.w};
        renderer->Write(font, text, GetFloat(v, 5), GetFloat(v, 6), GetFloat(v, 7), GetBool(v, 8),
                        int32_t(GetInt(v, 9)), rgba);
    }
    return 0;
}

SQInteger WriterFontGetLineHeight(HSQUIRRELVM v)
{
    SQ_FETCH(zRasterFont, font, 2, SqPtrRasterFont);
    return PushFloat(v, font != nullptr ? font->height : 0.0f);
}

SQInteger WriterFontGetBaseline(HSQUIRRELVM v)
{
    SQ_FETCH(zRasterFont, font, 2, SqPtrRasterFont);
    return PushFloat(v, font != nullptr ? font->baseLine : 0.0f);
}

SQInteger RendererGetStatistics(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    const struct {
        const char* key;
        int index;
    } entries[] = {
        {"object_sent", zRenderer::StatObjectsSent},
        {"object_drawn", zRenderer::StatObjectsDrawn},
        {"triangle_drawn", zRenderer::StatTrianglesDrawn},
    };
    sq_newtable(v);
    for (const auto& entry : entries) {
        sq_pushstring(v, entry.key, -1);
        sq_pushinteger(v, renderer != nullptr ? SQInteger(renderer->statistics[entry.index]) : 0);
        sq_newslot(v, -3, SQFalse);
    }
    return 1;
}

SQInteger RendererResetStatistics(HSQUIRRELVM v)
{
    SQ_FETCH(zRenderer, renderer, 2, SqPtrRenderer);
    if (renderer != nullptr) {
        for (uint32_t& counter : renderer->statistics)
            counter = 0;
    }
    return 0;
}

} // namespace

void SqRegisterRendererFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, RendererSetViewItemAndApplyView, "RendererSetViewItemAndApplyView", "x|tuu");
    SqRegisterFunction(v, RendererSetViewport, "RendererSetViewport", "x|tuffff");
    SqRegisterFunction(v, RendererGetViewport, "RendererGetViewport", "x|tu");
    SqRegisterFunction(v, RendererClearFrame, "RendererClearFrame", "x|tufff");
    SqRegisterFunction(v, RendererSetOutputTexture, "RendererSetOutputTexture", "x|tuu");
    SqRegisterFunction(v, RendererGetFogNear, "RendererGetFogNear", "x|tu");
    SqRegisterFunction(v, RendererGetFogFar, "RendererGetFogFar", "x|tu");
    SqRegisterFunction(v, RendererSetFog, "RendererSetFog", "x|tubxff");
    SqRegisterFunction(v, RendererSetControlFlag, "RendererSetControlFlag", "x|tuib");
    SqRegisterFunction(v, RendererGetControlFlag, "RendererGetControlFlag", "x|tui");
    SqRegisterFunction(v, RendererRenderQueue, "RendererRenderQueue", "x|tu");
    SqRegisterFunction(v, RendererRenderQueueReset, "RendererRenderQueueReset", "x|tu");
    SqRegisterFunction(v, RendererDrawCross, "RendererDrawCross", "x|tux");
    SqRegisterFunction(v, RendererDrawLine, "RendererDrawLine", "x|tuxx");
    SqRegisterFunction(v, RendererDrawCrossColored, "RendererDrawCrossColored", "x|tuxx");
    SqRegisterFunction(v, RendererDrawLineColored, "RendererDrawLineColored", "x|tuxxx");
    SqRegisterFunction(v, RendererLoadWriterFont, "RendererLoadWriterFont", "x|tuss");
    SqRegisterFunction(v, RendererWrite, "RendererWrite", "x|tuusfffbix");
    SqRegisterFunction(v, WriterFontGetLineHeight, "WriterFontGetLineHeight", "x|tu");
    SqRegisterFunction(v, WriterFontGetBaseline, "WriterFontGetBaseline", "x|tu");
    SqRegisterFunction(v, RendererGetStatistics, "RendererGetStatistics", "x|tu");
    SqRegisterFunction(v, RendererResetStatistics, "RendererResetStatistics", "x|tu");

    // Effect flag bits for the control-flag functions.
    RegisterInteger(v, "RenderMotionBlur", 1);
    RegisterInteger(v, "RenderShadowMapping", 2);
    RegisterInteger(v, "RenderBloom", 8);
    RegisterInteger(v, "RenderDepthOfField", 32);
    // Alignments for "RendererWrite".
    RegisterInteger(v, "WriterAlignLeft", 0);
    RegisterInteger(v, "WriterAlignRight", 2);
    RegisterInteger(v, "WriterAlignMiddle", 1);
}
