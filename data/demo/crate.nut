// Each crate says when it first touches something and when it comes to rest.
class Crate
{
    label = "crate";
    landed = false;
    resting = false;

    function OnReset(item) { landed = false; resting = false; }

    function OnCollision(item, other)
    {
        if (landed)
            return;
        landed = true;
        // Counted for the overlay, which shares the project's script machine.
        if ("demo_crates_landed" in getroottable())
            ::demo_crates_landed++;
        else
            ::demo_crates_landed <- 1;
        print(label + " lands.");
    }

    function OnPhysicSleepStep(item)
    {
        if (resting)
            return;
        resting = true;
        print(label + " comes to rest.");
    }
}
