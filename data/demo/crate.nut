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
