print("project include runs, zad visible " + ("Describe" in getroottable()) + ", project " + ObjectIsValid(g_project));
