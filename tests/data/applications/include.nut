print("include runs, zad visible " + ("Describe" in getroottable()) + ", define visible " + ("g_text" in getroottable()));
