#pragma once

#include "framework/data_structure/zLinkedList.h"

class zMetaFile;
class zMetaTag;

// A persistent object read from and written to ZML tags, documents and files.
class zMetaObject {
public:
    virtual ~zMetaObject() = default;

    // Reads the object from a tag; shortcuts in it resolve against the document.
    virtual bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag) = 0;
    // A new tag describing the object (the caller owns it), or null. The list
    // is where the tag is going to be added.
    virtual zMetaTag* AsMetaTag(zLinkedListId* list) = 0;

    // AsMetaTag, appended at the end of the list.
    virtual bool AppendToList(zLinkedListId& list);
    // Writes the object as the one root tag of a new ZML file.
    virtual bool SaveToFile(const char* path);
    // Reads the object from the first root tag of the document (a shortcut there
    // gives its target).
    virtual bool FromMetaFile(const zMetaFile* document);
    virtual bool LoadFromFile(const char* path);
};
