// Pictures drawn, saved as TGA and read back, from a script.
class Rect {
    sx = 0; sy = 0; ex = 0; ey = 0;
    constructor(a = 0, b = 0, c = 0, d = 0) { sx = a; sy = b; ex = c; ey = d; }
}
function R(r) { return format("%d,%d,%d,%d", r.sx.tointeger(), r.sy.tointeger(), r.ex.tointeger(), r.ey.tointeger()); }
function C(c) { return format("%g,%g,%g,%g", c.x, c.y, c.z, c.w); }
function Pixel(p, x, y) { return C(PictureGetPixel(p, x.tofloat(), y.tofloat())); }
function Make(w, h) { local p = PictureNew(); PictureAlloc(p, w, h); return p; }
function Lit(p) {
    local r = PictureGetRect(p), lit = 0;
    for (local y = 0; y < r.ey; y++)
        for (local x = 0; x < r.ex; x++)
            if (PictureGetPixel(p, x.tofloat(), y.tofloat()).w > 0) lit++;
    return lit;
}

cases <- {
    new_is_empty = function() { return R(PictureGetRect(PictureNew())); },
    alloc_gives_rect = function() {
        local p = PictureNew();
        return PictureAlloc(p, 8, 4) + " " + R(PictureGetRect(p));
    },
    fill_then_sample = function() {
        local p = Make(4, 4);
        PictureFill(p, Vector(1, 0, 0, 1));
        return Pixel(p, 2, 2);
    },
    fill_rect_clips = function() {
        local p = Make(4, 4);
        PictureFillRect(p, Vector(0, 1, 0, 1), Rect(-10, -10, 2, 2));
        PictureFillRect(p, Vector(0, 0, 1, 1), Rect(10, 10, 20, 20));
        PictureFillRect(p, Vector(0, 0, 1, 1), Rect(3, 3, 1, 1));
        return Pixel(p, 0, 0) + " " + Pixel(p, 3, 3) + " " + Pixel(p, 2, 0);
    },
    set_pixel_clips = function() {
        local p = Make(4, 4);
        foreach (xy in [[-1, 0], [4, 0], [0, 4], [0, -1], [1e9, 1e9], [-1e9, 2], [4.5, 1]])
            PictureSetPixel(p, xy[0].tofloat(), xy[1].tofloat(), Vector(1, 1, 1, 1));
        PictureSetPixel(p, 1.0, 1.0, Vector(0, 0, 1, 1));
        local lit = 0;
        for (local y = 0; y < 4; y++)
            for (local x = 0; x < 4; x++)
                if (PictureGetPixel(p, x.tofloat(), y.tofloat()).w > 0) lit++;
        return lit + " " + Pixel(p, 1, 1);
    },
    get_pixel_null = function() { return Pixel(TestNullHandle(EngineTypePicture), 0, 0); },
    line_on_tiny_picture = function() {
        local p = Make(2, 2);
        PictureLine(p, 0.0, 0.0, 1.0, 1.0, Vector(1, 1, 1, 1));
        local lit = 0;
        for (local y = 0; y < 2; y++)
            for (local x = 0; x < 2; x++)
                if (PictureGetPixel(p, x.tofloat(), y.tofloat()).w > 0) lit++;
        return lit;
    },
    line_draws = function() {
        local p = Make(8, 8);
        PictureLine(p, 0.0, 3.0, 7.0, 3.0, Vector(1, 1, 1, 1));
        return PictureGetPixel(p, 3.0, 3.0).w > 0;
    },
    blit_whole = function() {
        local s = Make(2, 2), d = Make(4, 4);
        PictureFill(s, Vector(1, 0, 0, 1));
        PictureBlit(s, d, BlendReplace);
        return Pixel(d, 1, 1) + " " + Pixel(d, 3, 3);
    },
    blit_rect = function() {
        local s = Make(4, 4), d = Make(4, 4);
        PictureFill(s, Vector(1, 0, 0, 1));
        PictureBlitRect(s, d, Rect(0, 0, 1, 1), Rect(2, 2, 3, 3), BlendReplace);
        return Pixel(d, 0, 0) + " " + Pixel(d, 2, 2) + " " + Pixel(d, 3, 3);
    },
    convolution_too_big = function() { return PictureApplyConvolution(Make(4, 4), 33, 32, []); },
    convolution_negative = function() { return PictureApplyConvolution(Make(4, 4), -3, -3, [1, 1, 1, 1, 1, 1, 1, 1, 1]); },
    convolution_short_kernel = function() {
        local p = Make(4, 4);
        PictureFill(p, Vector(1, 0, 0, 1));
        // The taps the array leaves out are 0: the centre tap alone keeps the picture.
        local ok = PictureApplyConvolution(p, 3, 3, [0, 0, 0, 0, 1]);
        return ok + " " + Pixel(p, 1, 1);
    },
    tga_round_trip = function() {
        local p = Make(3, 2);
        PictureFill(p, Vector(0, 0, 1, 1));
        PictureSetPixel(p, 2.0, 1.0, Vector(1, 1, 1, 1));
        local saved = PictureSaveTGA(p, "round.tga");
        local q = PictureNew();
        local loaded = PictureLoadContent(q, "round.tga");
        return saved + " " + loaded + " " + R(PictureGetRect(q)) + " " + Pixel(q, 0, 0) + " " + Pixel(q, 2, 1);
    },
    tga_empty_refused = function() { return PictureSaveTGA(PictureNew(), "empty.tga"); },
    colour_of_wrong_class = function() { PictureFill(Make(2, 2), Rect()); return "not raised"; },
    text_render = function() {
        local p = Make(64, 32);
        PictureTextRender(p, Rect(0, 0, 64, 32), "Hi", "default", {size = 20, color = 0xFFFFFFFF});
        local lit = 0;
        for (local y = 0; y < 32; y++)
            for (local x = 0; x < 64; x++)
                if (PictureGetPixel(p, x.tofloat(), y.tofloat()).w > 0) lit++;
        return lit > 10;
    },
    // 67 million pixels a line up: only the first line lies in the picture.
    text_heading_far_above = function() {
        local one = Make(64, 32), three = Make(64, 32);
        PictureTextRender(one, Rect(0, 0, 64, 32), "A", "default", {size = 16, heading = -268435456});
        PictureTextRender(three, Rect(0, 0, 64, 32), "A\nA\nA", "default", {size = 16, heading = -268435456});
        return Lit(one) + " " + Lit(three);
    },
    // 40 empty lines of -2,097,152 pixels: the "A" after them lies far above
    // the picture.
    text_negative_line_height = function() {
        local loaded = ObjectIsValid(UILoadFont("negative_ascender.ttf"));
        local p = Make(64, 64), text = "";
        for (local i = 0; i < 40; i++)
            text += "\n";
        text += "A";
        PictureTextRender(p, Rect(0, 0, 64, 64), text, "negative_ascender", {size = 1024});
        return loaded + " " + Lit(p);
    },
    resize = function() {
        local p = Make(4, 4);
        PictureResize(p, 8, 2);
        return R(PictureGetRect(p));
    },
    released_with_handle = function() {
        local p = PictureNew();
        p = null;
        return "done";
    },
    blend_constants = function() { return BlendReplace + " " + BlendCompose + " " + RgbToAlpha; },
};
