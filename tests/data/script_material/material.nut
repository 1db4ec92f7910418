// Material functions on fresh materials made by TestNewMaterial(): a stage on
// the Diffuse channel with a texture, an inactive stage on the Normal channel
// without one; every other channel is fed by no stage.
cases <- {
    name = function() { return MaterialGetName(TestNewMaterial()); },
    name_of_null = function() { return MaterialGetName(NullMaterial); },
    ambient = function() {
        local m = TestNewMaterial();
        MaterialSetAmbient(m, Vector(0.1, 0.2, 0.3, 0.4));
        return MaterialGetAmbient(m);
    },
    specular = function() {
        local m = TestNewMaterial();
        MaterialSetSecular(m, Vector(0.5, 0.25, 0.125, 0.75));
        return MaterialGetSpecular(m);
    },
    diffuse = function() {
        local m = TestNewMaterial();
        MaterialSetDiffuse(m, Vector(0.9, 0.8, 0.7, 0.6));
        return MaterialGetDiffuse(m);
    },
    self_illum = function() {
        local m = TestNewMaterial();
        MaterialSetSelfIllum(m, Vector(0.3, 0.2, 0.1, 1.0));
        return MaterialGetSelfIllum(m);
    },
    diffuse_default = function() { return MaterialGetDiffuse(TestNewMaterial()); },
    colour_of_null = function() {
        MaterialSetAmbient(NullMaterial, Vector(0.5, 0.5, 0.5, 0.5));
        return MaterialGetAmbient(NullMaterial);
    },
    self_illum_of_null = function() { return MaterialGetSelfIllum(NullMaterial); },
    uv_matrix_default = function() { return MaterialChannelGetUVMatrix(TestNewMaterial(), ChannelDiffuse); },
    uv_matrix_set = function() {
        local m = TestNewMaterial();
        local uv = Matrix4();
        uv.m03 = 2.0;
        uv.m13 = 3.0;
        MaterialChannelSetUVMatrix(m, ChannelDiffuse, uv);
        return MaterialChannelGetUVMatrix(m, ChannelDiffuse);
    },
    uv_matrix_of_unfed_channel = function() { return MaterialChannelGetUVMatrix(TestNewMaterial(), ChannelOpacity); },
    uv_matrix_wrong_class = function() {
        MaterialChannelSetUVMatrix(TestNewMaterial(), ChannelDiffuse, Vector(1, 2, 3));
        return "not thrown";
    },
    active = function() { return MaterialChannelGetActive(TestNewMaterial(), ChannelDiffuse); },
    active_inactive_stage = function() { return MaterialChannelGetActive(TestNewMaterial(), ChannelNormal); },
    active_cleared = function() {
        local m = TestNewMaterial();
        MaterialChannelSetActive(m, ChannelDiffuse, false);
        return MaterialChannelGetActive(m, ChannelDiffuse);
    },
    // A stage without a texture cannot be active: the update turns it off again.
    active_without_texture = function() {
        local m = TestNewMaterial();
        MaterialChannelSetActive(m, ChannelNormal, true);
        return MaterialChannelGetActive(m, ChannelNormal);
    },
    active_vertex_colour_channel = function() { return MaterialChannelGetActive(TestNewMaterial(), 9); },
    active_past_last_channel = function() { return MaterialChannelGetActive(TestNewMaterial(), 10); },
    active_negative_channel = function() { return MaterialChannelGetActive(TestNewMaterial(), -1); },
    active_huge_channel = function() {
        MaterialChannelSetActive(TestNewMaterial(), 0x7fffffff, true);
        return true;
    },
    active_of_null = function() {
        MaterialChannelSetActive(NullMaterial, ChannelDiffuse, true);
        return MaterialChannelGetActive(NullMaterial, ChannelDiffuse);
    },
    texture = function() {
        return ObjectIsSame(MaterialChannelGetTexture(TestNewMaterial(), ChannelDiffuse), TestTexture());
    },
    texture_cleared = function() {
        local m = TestNewMaterial();
        MaterialChannelSetTexture(m, TestNullHandle(EngineTypeTexture), ChannelDiffuse);
        return ObjectIsValid(MaterialChannelGetTexture(m, ChannelDiffuse)) + ","
            + MaterialChannelGetActive(m, ChannelDiffuse);
    },
    texture_set = function() {
        local m = TestNewMaterial();
        MaterialChannelSetTexture(m, TestTexture(), ChannelNormal);
        return ObjectIsSame(MaterialChannelGetTexture(m, ChannelNormal), TestTexture()) + ","
            + MaterialChannelGetActive(m, ChannelNormal);
    },
    texture_kind = function() {
        return TestKind(MaterialChannelGetTexture(TestNewMaterial(), ChannelDiffuse));
    },
    texture_of_null = function() {
        MaterialChannelSetTexture(NullMaterial, TestTexture(), ChannelDiffuse);
        return ObjectIsValid(MaterialChannelGetTexture(NullMaterial, ChannelDiffuse));
    },
    texture_of_unfed_channel = function() {
        return ObjectIsValid(MaterialChannelGetTexture(TestNewMaterial(), ChannelSelfIllum));
    },
    update_of_null = function() {
        MaterialUpdate(NullMaterial);
        return true;
    },
    constants = function() {
        return ChannelColor + "," + ChannelDiffuse + "," + ChannelDetail + "," + ChannelOpacity + ","
            + ChannelSpecular + "," + ChannelGlossiness + "," + ChannelNormal + "," + ChannelReflection + ","
            + ChannelSelfIllum + "," + TestKind(NullMaterial) + "," + ObjectIsValid(NullMaterial);
    },
}
