#pragma once

#include "framework/data_structure/zLinkedList.h"

class zTrueTypeFont;

// One 2D user-interface scene. The font system is program-wide and lives here
// as static members: the application opens it once before the first 2D scene
// draws and closes it at shutdown. Main thread only.
class zScene2D {
public:
    // Starts FreeType and opens "default.ttf" (found through the search paths)
    // as the default font. True when already open; false, with the system
    // closed again, when either step fails.
    static bool OpenFontSystem();
    // Deletes every font and the default font and stops FreeType; a second
    // call does nothing.
    static void CloseFontSystem();
    static bool IsFontSystemOpen();
    // Loads a TrueType file into the font list, named after its base name.
    // Null when the system is closed, when the list already holds a font
    // named exactly as the path, or when the file cannot be read or opened.
    // The list owns the font.
    static zTrueTypeFont* OpenFont(const char* path);
    // The loaded font with that name, else the default font (null while the
    // system is closed).
    static zTrueTypeFont* GetFont(const char* name);
    static zTrueTypeFont* GetDefaultFont();
    static zLinkedListId& GetFontList();
};
