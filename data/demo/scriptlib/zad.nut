// The start-up library: runs once before any project or scene script.

// Seconds as "12.34 s".
function FormatSeconds(seconds)
{
    return format("%.2f s", seconds);
}

// Counts frames and simulated time; Step returns true every `every` frames.
class FrameCounter
{
    frames = 0;
    seconds = 0.0;
    every = 1;

    constructor(reportEvery) { every = reportEvery; }

    function Step(dt)
    {
        frames++;
        seconds += dt;
        return frames % every == 0;
    }
}

// True when a script variable was defined on the command line (-Ds, -Di, -Df).
function IsDefined(name)
{
    return name in getroottable();
}
