#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/tools/zString.h"

#include <cstdint>

// A loaded ZML document: its root tags (owned) and the name of the file they
// came from. Shortcuts inside the document resolve against these root tags.
class zMetaFile : public zLinkedListId {
public:
    zMetaFile() = default;
    explicit zMetaFile(const char* fileName) : fileName(fileName) {}

    const zString& GetFileName() const { return fileName; }
    void SetFileName(const char* name) { fileName.Assign(name); }

    zMetaTag* GetFirstRootTag() const { return static_cast<zMetaTag*>(first); }
    // Appends a root tag (taken over); returns it, or null for a null tag.
    zMetaTag* AddRootTag(zMetaTag* tag);
    // Exchanges root tags and file name with another document.
    void Swap(zMetaFile& other);

    // Path queries from the root tags, shortcuts resolved against this
    // document. Tags and texts returned belong to the document.
    zMetaTag* GetTag(const char* path, bool log = false) const;
    zMetaTag* GetTypedTag(const char* path, int32_t type, bool log = false) const;
    // Integer tag at the path (non-zero is true); the default otherwise.
    bool GetBool(const char* path, bool defaultValue, bool log = false) const;
    // Integer tag at the path; the default otherwise (a float tag gives the default).
    int32_t GetInt(const char* path, int32_t defaultValue, bool log = false) const;
    // Integer or float tag at the path as a float; the default otherwise.
    float GetFloat(const char* path, float defaultValue, bool log = false) const;
    // String tag at the path; the default otherwise.
    const char* GetString(const char* path, const char* defaultValue = nullptr, bool log = false) const;

    // The next root tag (cursor starts zeroed). With resolve, a shortcut root
    // tag gives its target; one whose target is missing is logged and skipped.
    zMetaTag* NextRootTag(zLinkedListCursor& cursor, bool resolve) const;

private:
    zString fileName;
};
