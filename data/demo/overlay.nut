// The 2D overlay drawn in front of the demo: a panel with a line of text that
// follows the run (frames drawn, crates landed so far).
class Overlay
{
    draws = 0;
    panel = null;
    status = null;

    function OnSetup(scene)
    {
        panel = UIAddWindow(scene, 1, 16.0, 16.0, 420.0, 72.0);
        WindowAddStyle(panel, StyleNoTitleBar | StyleNonSensitive);
        // Packed with red in the low byte and alpha in the high one.
        WindowSetBackgroundColor(panel, 0xA0201810);
        local column = UIAddVerticalSizerWidget(scene, 2);
        local title = UIAddStaticTextWidget(scene, 3, "Tavrin demo: five crates fall onto the floor", "default");
        TextSetColor(title, 255, 217, 102, 255);
        status = UIAddStaticTextWidget(scene, 4, "Starting...", "default");
        TextSetColor(status, 230, 242, 255, 255);
        SizerAddWidget(column, title);
        SizerAddWidget(column, status);
        WindowSetBaseWidget(panel, column);
        WindowShow(panel, true);
        print("Overlay set up.");
    }

    function OnReset(scene) { draws = 0; }

    function OnUpdate(scene)
    {
        draws++;
        if (draws == 1)
            print("Overlay drawn for the first time.");
        local landed = "demo_crates_landed" in getroottable() ? ::demo_crates_landed : 0;
        TextSetText(status, format("Frame %d    crates landed: %d of 5", draws, landed));
    }
}
