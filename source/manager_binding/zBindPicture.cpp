// The picture functions: scripts make, load, save, draw into and filter
// pictures. Colours are "Vector" instances (r, g, b, a in 0..1), rectangles
// "Rect" instances with integer pixel bounds.
#include "bfgt/picture/zPicture.h"
#include "bfgt/picture/zPictureIO.h"
#include "framework/math/zColor.h"
#include "framework/math/zVector.h"
#include "framework/system/zLogStream.h"
#include "manager_binding/zBindFamilies.h"
#include "manager_binding/zBindInternal.h"
#include "manager_binding/zBindMath.h"
#include "ui/zScene2D.h"
#include "ui/zTextLayout.h"
#include "ui/zTextParameters.h"

#include <string>
#include <vector>

namespace {

using namespace sqbind;

// Largest convolution kernel: 32 x 32 taps.
constexpr int64_t MaxKernelTaps = 1024;

#define FETCH_PICTURE(idx, name)                                                                                       \
    zPicture* name = nullptr;                                                                                          \
    if (!SqGetSafePtr(v, idx, &name, SqPtrPicture))                                                                   \
        return sq_suspendvm(v);

#define FETCH_COLOUR(idx, name)                                                                                        \
    const zVector* name = SqGetVectorInstance(v, idx);                                                                 \
    if (name == nullptr)                                                                                               \
        return sq_throwerror(v, "invalid instance type");

SQInteger PictureNew(HSQUIRRELVM v)
{
    auto* picture = new zPicture;
    picture->format = PixelFormatARGB32;
    SqPushSafePtr(v, picture, SqPtrPicture, true);
    return 1;
}

SQInteger PictureAlloc(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    const bool ok =
        picture != nullptr && picture->AllocAs(int32_t(GetInteger(v, 3)), int32_t(GetInteger(v, 4)), PixelFormatABGR32);
    sq_pushbool(v, ok ? SQTrue : SQFalse);
    return 1;
}

SQInteger PictureLoadContent(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    sq_pushbool(v, picture != nullptr && zPictureIO::Load(*picture, GetString(v, 3)) ? SQTrue : SQFalse);
    return 1;
}

SQInteger PictureSaveTGA(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    sq_pushbool(v, picture != nullptr && lowlevel_tga_save(GetString(v, 3), *picture) ? SQTrue : SQFalse);
    return 1;
}

SQInteger PictureResize(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    if (picture != nullptr)
        picture->Resize(int32_t(GetInteger(v, 3)), int32_t(GetInteger(v, 4)));
    return 0;
}

SQInteger PictureGetRect(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    PushRect(v, picture != nullptr ? zPicture::Rect{0, 0, picture->width, picture->height} : zPicture::Rect{0, 0, 0, 0});
    return 1;
}

SQInteger PictureFill(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    FETCH_COLOUR(3, colour);
    if (picture != nullptr)
        picture->Fill(colour->x, colour->y, colour->z, colour->w);
    return 0;
}

SQInteger PictureFillRect(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    FETCH_COLOUR(3, colour);
    zPicture::Rect rect{0, 0, 0, 0};
    if (!GetRect(v, 4, rect))
        return sq_throwerror(v, "invalid instance type");
    // Fill clips the rectangle to the picture.
    if (picture != nullptr)
        picture->Fill(colour->x, colour->y, colour->z, colour->w, &rect);
    return 0;
}

SQInteger PictureSetPixel(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    FETCH_COLOUR(5, colour);
    // BlendPixel ignores coordinates outside the picture.
    if (picture != nullptr)
        picture->BlendPixel(GetFloat(v, 3), GetFloat(v, 4), colour->x, colour->y, colour->z, colour->w);
    return 0;
}

SQInteger PictureGetPixel(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    float values[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (picture != nullptr && picture->HasBuffer() && picture->width > 0 && picture->height > 0) {
        zColor colour;
        picture->SampleBilinear(GetFloat(v, 3) / float(picture->width), GetFloat(v, 4) / float(picture->height),
                                colour);
        values[0] = colour.r;
        values[1] = colour.g;
        values[2] = colour.b;
        values[3] = colour.a;
    }
    if (!SqPushVector4(v, values))
        sq_pushnull(v);
    return 1;
}

SQInteger PictureLine(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    FETCH_COLOUR(7, colour);
    if (picture == nullptr || picture->width - 2 <= 0 || picture->height - 2 < 0)
        return 0;
    const zPicture::ClipRect clip{0.0f, 0.0f, float(picture->width - 2), float(picture->height - 2)};
    picture->DrawLineSmooth(GetFloat(v, 3), GetFloat(v, 4), GetFloat(v, 5), GetFloat(v, 6), colour->x, colour->y,
                            colour->z, colour->w, &clip);
    return 0;
}

SQInteger PictureBlit(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, source);
    FETCH_PICTURE(3, destination);
    if (source != nullptr && destination != nullptr)
        zPicture::Blit(*source, *destination, nullptr, nullptr, int(GetInteger(v, 4)));
    return 0;
}

SQInteger PictureBlitRect(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, source);
    FETCH_PICTURE(3, destination);
    zPicture::Rect sourceRect{0, 0, 0, 0}, destinationRect{0, 0, 0, 0};
    if (!GetRect(v, 4, sourceRect) || !GetRect(v, 5, destinationRect))
        return sq_throwerror(v, "invalid instance type");
    if (source != nullptr && destination != nullptr)
        zPicture::Blit(*source, *destination, &sourceRect, &destinationRect, int(GetInteger(v, 6)));
    return 0;
}

SQInteger PictureApplyConvolution(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    const SQInteger width = GetInteger(v, 3), height = GetInteger(v, 4);
    // Negative sizes would multiply into a positive tap count.
    if (width < 0 || height < 0) {
        LogError("PictureApplyConvolution")
            << "Invalid convolution kernel size (" << std::to_string(width).c_str() << "x" << std::to_string(height).c_str() << ").\n";
        sq_pushbool(v, SQFalse);
        return 1;
    }
    if (width > MaxKernelTaps || height > MaxKernelTaps || width * height > MaxKernelTaps) {
        LogError("PictureApplyConvolution") << "Convolution kernel too big (" << std::to_string(width).c_str() << "x"
                                            << std::to_string(height).c_str() << "), max 32x32.\n";
        sq_pushbool(v, SQFalse);
        return 1;
    }
    if (picture == nullptr || width == 0 || height == 0) {
        sq_pushbool(v, SQFalse);
        return 1;
    }
    // Taps the array does not give stay 0.
    std::vector<int32_t> kernel(size_t(width * height), 0);
    const SQInteger available = sq_getsize(v, 5);
    for (SQInteger i = 0; i < SQInteger(kernel.size()) && i < available; ++i) {
        sq_pushinteger(v, i);
        if (SQ_SUCCEEDED(sq_get(v, 5))) {
            SQInteger tap = 0;
            sq_getinteger(v, -1, &tap);
            kernel[size_t(i)] = int32_t(tap);
            sq_pop(v, 1);
        }
    }
    const bool ok = picture->ApplyConvolution(int32_t(width), int32_t(height), kernel.data());
    sq_pushbool(v, ok ? SQTrue : SQFalse);
    return 1;
}

SQInteger PictureTextRender(HSQUIRRELVM v)
{
    FETCH_PICTURE(2, picture);
    zPicture::Rect rect{0, 0, 0, 0};
    if (!GetRect(v, 3, rect))
        return sq_throwerror(v, "invalid instance type");
    if (picture == nullptr || !picture->HasBuffer())
        return 0;
    zTextParameters parameters;
    ApplyTextParameterTable(v, 6, parameters);
    parameters.font = zScene2D::GetFont(GetString(v, 5));
    const char* text = GetString(v, 4);
    ComputeTextRect(text, parameters, rect);
    RenderTextToPicture(*picture, text, parameters, rect, zPicture::Rect{0, 0, picture->width, picture->height});
    return 0;
}

} // namespace

void SqRegisterPictureFunctions(HSQUIRRELVM v)
{
    Register(v, PictureNew, "PictureNew", "x|t");
    Register(v, PictureAlloc, "PictureAlloc", "x|tuii");
    Register(v, PictureLoadContent, "PictureLoadContent", "x|tus");
    Register(v, PictureSaveTGA, "PictureSaveTGA", "x|tus");
    Register(v, PictureResize, "PictureResize", "x|tuii");
    Register(v, PictureGetRect, "PictureGetRect", "x|tu");
    Register(v, PictureFill, "PictureFill", "x|tux");
    Register(v, PictureFillRect, "PictureFillRect", "x|tuxx");
    Register(v, PictureSetPixel, "PictureSetPixel", "x|tuffx");
    Register(v, PictureGetPixel, "PictureGetPixel", "x|tuff");
    Register(v, PictureLine, "PictureLine", "x|tuffffx");
    Register(v, PictureBlit, "PictureBlit", "x|tuui");
    Register(v, PictureBlitRect, "PictureBlitRect", "x|tuuxxi");
    Register(v, PictureApplyConvolution, "PictureApplyConvolution", "x|tuiia");
    Register(v, PictureTextRender, "PictureTextRender", "x|tuxsst");
    static const struct {
        const char* name;
        SQInteger value;
    } modes[] = {
        {"BlendReplace", 0}, {"BlendCompose", 1}, {"BlendAdd", 2}, {"BlendMultiply", 3}, {"BlendMultiply2x", 4},
        {"BlendAlphaAdd", 5}, {"BlendAlphaMultiply", 6}, {"BlendAlphaMultiply2x", 7}, {"RgbToAlpha", 8},
    };
    for (const auto& mode : modes)
        NewIntegerConstant(v, mode.name, mode.value);
}
