// Command lists a script gives to items of items.zml, to a window of the
// scene's interface and to the interface itself; the test runs the frames.
ui <- SceneGetUI(g_scene);
panel <- UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0);
ItemSetCommandList(TestItem("p1"), "toposition 0.05, 1, 2, 3 + toalpha 0.05, 0.25;");
ItemSetCommandList(TestItem("p2"), "toscale 0.05, 2, 3, 4 + tooffset 0.05, -1, 5, 7;");
ItemSetCommandList(TestItem("p3"), "torotation 0.05, 90, 0, 45 + offsetposition 0.05, 10, 0, 0;");
WindowSetCommandList(panel, "toalpha 0.05, 0 + toposition 0.05, 100, 50 + toscale 0.05, 2, 3 + toangle 0.05, 90;");
UISetCommandList(ui, "globalfade 0.05, 0.75;");

function AllDone() {
    return ItemIsCommandListDone(TestItem("p1")) && ItemIsCommandListDone(TestItem("p2")) &&
        ItemIsCommandListDone(TestItem("p3")) && WindowIsCommandListDone(panel) && UIIsCommandListDone(ui);
}
