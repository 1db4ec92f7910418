// The picture of a 64x40 video texture is reloaded from a 24-bit BMP in the
// first frame and from a float (Radiance) picture in the second, both of the
// same size, and uploaded each time.
class Retexture {
    frame = 0;
    video = null;
    function OnUpdate(s) {
        frame++;
        if (frame == 1)
            video = EngineLoadTexture(g_engine, "../media/av_mpeg1.mpg");
        local file = frame == 1 ? "retexture.bmp" : frame == 2 ? "retexture.hdr" : null;
        if (file != null) {
            print(file + " loaded " + PictureLoadContent(TextureGetPicture(video), file));
            TextureUpdate(video);
        }
    }
}
