// A light's script that deletes every light, itself included, from inside the
// scene's update walk, then keeps using its own item.
class LightDeleter
{
    calls = 0;
    function OnUpdate(item)
    {
        SceneDeleteAllLights(g_scene);
        ItemSetAlpha(item, 0.5);
        ::deleter_name <- ItemGetName(item);
        ::deleter_calls <- ++calls;
    }
}
