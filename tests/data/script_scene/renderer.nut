// Renderer functions on the test's recording renderer (TestRenderer(), an
// 800 x 600 output) and on null handles. Each case sets up what it reads.
cases <- {
    viewport_half = function() {
        local r = TestRenderer();
        RendererSetViewport(r, 0.0, 0.0, 0.5, 1.0);
        return TestLastViewport();
    },
    viewport_offset = function() {
        RendererSetViewport(TestRenderer(), 0.25, 0.5, 0.5, 0.25);
        return TestLastViewport();
    },
    get_viewport = function() { return RendererGetViewport(TestRenderer()); },
    get_viewport_of_null = function() { return RendererGetViewport(TestNullHandle(EngineTypeRenderer)); },
    clear = function() {
        RendererClearFrame(TestRenderer(), 0.25, 0.5, 0.75);
        return TestLastClear();
    },
    fog = function() {
        local r = TestRenderer();
        RendererSetFog(r, true, Vector(0.1, 0.2, 0.3), 5.0, 50.0);
        return RendererGetFogNear(r) + "," + RendererGetFogFar(r);
    },
    fog_zero_near_keeps_near = function() {
        local r = TestRenderer();
        RendererSetFog(r, true, Vector(0.1, 0.2, 0.3), 7.0, 70.0);
        RendererSetFog(r, true, Vector(0.1, 0.2, 0.3), 0.0, 80.0);
        return RendererGetFogNear(r) + "," + RendererGetFogFar(r);
    },
    fog_far_at_least_near = function() {
        local r = TestRenderer();
        RendererSetFog(r, true, Vector(0.1, 0.2, 0.3), 10.0, 2.0);
        return RendererGetFogFar(r) > 10.0 && RendererGetFogFar(r) < 10.01;
    },
    fog_not_a_number_keeps_the_distances = function() {
        local r = TestRenderer();
        RendererSetFog(r, true, Vector(0.1, 0.2, 0.3), 7.0, 70.0);
        RendererSetFog(r, true, Vector(0.1, 0.2, 0.3), 8.0, 0.0 / 0.0);
        RendererSetFog(r, true, Vector(0.1, 0.2, 0.3), 1e39, 90.0);
        return RendererGetFogNear(r) + "," + RendererGetFogFar(r);
    },
    fog_wrong_class = function() {
        RendererSetFog(TestRenderer(), true, Matrix3(), 1.0, 2.0);
        return "not thrown";
    },
    fog_near_of_null = function() { return RendererGetFogNear(TestNullHandle(EngineTypeRenderer)); },
    fog_far_of_null = function() { return RendererGetFogFar(TestNullHandle(EngineTypeRenderer)); },
    control_flag_any_bit = function() {
        local r = TestRenderer();
        RendererSetControlFlag(r, RenderBloom | RenderDepthOfField, false);
        RendererSetControlFlag(r, RenderBloom, true);
        return RendererGetControlFlag(r, RenderBloom | RenderDepthOfField) + ","
            + RendererGetControlFlag(r, RenderDepthOfField);
    },
    control_flag_cleared = function() {
        local r = TestRenderer();
        RendererSetControlFlag(r, RenderMotionBlur | RenderShadowMapping, true);
        RendererSetControlFlag(r, RenderMotionBlur, false);
        return RendererGetControlFlag(r, RenderMotionBlur) + "," + RendererGetControlFlag(r, RenderShadowMapping);
    },
    control_flag_of_null = function() {
        RendererSetControlFlag(TestNullHandle(EngineTypeRenderer), RenderBloom, true);
        return RendererGetControlFlag(TestNullHandle(EngineTypeRenderer), -1);
    },
    view_item_camera = function() {
        RendererSetViewItemAndApplyView(TestRenderer(), TestItem("eye"));
        return TestRendererCamera();
    },
    view_item_light_refused = function() {
        local r = TestRenderer();
        RendererSetViewItemAndApplyView(r, TestItem("eye"));
        RendererSetViewItemAndApplyView(r, TestItem("lamp"));
        return TestRendererCamera();
    },
    view_item_null = function() {
        RendererSetViewItemAndApplyView(TestRenderer(), TestNullHandle(EngineTypeItem));
        return TestRendererCamera();
    },
    draw_cross = function() {
        RendererDrawCross(TestRenderer(), Vector(1, 2, 3));
        return TestLines();
    },
    draw_cross_coloured = function() {
        RendererDrawCrossColored(TestRenderer(), Vector(0, 0, 0), Vector(1, 0.5, 0.25, 0.0));
        return TestLines();
    },
    draw_line = function() {
        RendererDrawLine(TestRenderer(), Vector(1, 2, 3), Vector(4, 5, 6));
        return TestLines();
    },
    draw_line_coloured = function() {
        RendererDrawLineColored(TestRenderer(), Vector(1, 2, 3), Vector(4, 5, 6), Vector(0.5, 0.25, 1, 0));
        return TestLines();
    },
    draw_line_wrong_class = function() {
        RendererDrawLine(TestRenderer(), Vector(1, 2, 3), Matrix4());
        return "not thrown";
    },
    draw_of_null = function() {
        local r = TestNullHandle(EngineTypeRenderer);
        RendererDrawCross(r, Vector(1, 2, 3));
        RendererDrawLineColored(r, Vector(1, 2, 3), Vector(4, 5, 6), Vector(1, 1, 1));
        return TestLines();
    },
    render_queue = function() {
        RendererRenderQueue(TestRenderer());
        RendererRenderQueue(TestNullHandle(EngineTypeRenderer));
        return TestQueueRuns();
    },
    render_queue_reset = function() {
        TestFillStack();
        RendererRenderQueueReset(TestRenderer());
        return TestStackCount();
    },
    output_texture = function() {
        local r = TestRenderer();
        RendererSetOutputTexture(r, TestTexture());
        local size = RendererGetViewport(r);
        RendererSetOutputTexture(r, TestNullHandle(EngineTypeTexture));
        local after = RendererGetViewport(r);
        return size.z + "x" + size.w + "," + after.z + "x" + after.w;
    },
    statistics = function() {
        local s = RendererGetStatistics(TestSetStatistics());
        return s.object_sent + "," + s.object_drawn + "," + s.triangle_drawn + "," + s.len();
    },
    statistics_reset = function() {
        local r = TestSetStatistics();
        RendererResetStatistics(r);
        return TestStatisticsSum();
    },
    statistics_of_null = function() {
        local s = RendererGetStatistics(TestNullHandle(EngineTypeRenderer));
        return s.object_sent + "," + s.object_drawn + "," + s.triangle_drawn;
    },
    font_metrics = function() {
        return WriterFontGetLineHeight(TestFont()) + "," + WriterFontGetBaseline(TestFont());
    },
    font_metrics_of_null = function() {
        local f = TestNullHandle(EngineTypeRasterFont);
        return WriterFontGetLineHeight(f) + "," + WriterFontGetBaseline(f);
    },
    load_missing_font = function() {
        return ObjectIsValid(RendererLoadWriterFont(TestRenderer(), g_data + "no_font.zml", "no_font"));
    },
    load_font_of_null = function() {
        return ObjectIsValid(RendererLoadWriterFont(TestNullHandle(EngineTypeRenderer), "a", "b"));
    },
    write = function() {
        RendererWrite(TestRenderer(), TestFont(), "hello", 10.0, 20.0, 1.5, true, WriterAlignRight,
            Vector(1, 0.5, 0.25, 0.75));
        return TestLastWrite();
    },
    write_without_font = function() {
        RendererWrite(TestRenderer(), TestNullHandle(EngineTypeRasterFont), "hello", 10.0, 20.0, 1.5, true,
            WriterAlignLeft, Vector(1, 1, 1, 1));
        return TestLastWrite();
    },
    constants = function() {
        return RenderMotionBlur + "," + RenderShadowMapping + "," + RenderBloom + "," + RenderDepthOfField + ","
            + WriterAlignLeft + "," + WriterAlignRight + "," + WriterAlignMiddle;
    },
}
