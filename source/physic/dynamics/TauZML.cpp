#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauConstraint.h"
#include "physic/dynamics/TauItem.h"
#include "physic/dynamics/TauSceneServices.h"

#include <new>

namespace {

const zVector Zero{0.0f, 0.0f, 0.0f, 1.0f};

// Integers come only from integer tags.
int32_t ReadInteger(const zMetaTag* tag)
{
    return tag->GetType() == zMetaTag::TypeInteger ? tag->GetInteger() : zMetaTag::NoInteger;
}

void AddTag(zMetaTag* parent, zMetaTag* child)
{
    if (child != nullptr && parent->AddChild(child) == nullptr)
        delete child;
}

// A count from the file, or the old one when it is not a sensible count.
void ReadIterations(const zMetaTag* tag, uint32_t& out)
{
    const int32_t value = ReadInteger(tag);
    if (!Tau::IsIterationCount(value)) {
        LogWarning("Tau::FromMetaTag") << "Invalid iteration count in <" << tag->GetName().Get() << ">, "
                                       << out << " kept.\n";
        return;
    }
    out = static_cast<uint32_t>(value);
}

// The body of the item a file UID names; an index outside the remap table,
// or a value that is not an integer while a table is given, names no body.
TauItem* ResolveBody(TauSceneServices* scene, const zMetaTag* tag, const TauUidRemap* remap)
{
    if (scene == nullptr)
        return nullptr;
    const int32_t value = ReadInteger(tag);
    int32_t uid = value;
    if (remap != nullptr) {
        if (tag->GetType() != zMetaTag::TypeInteger || value < 0 || value >= remap->count || remap->entries == nullptr)
            return nullptr;
        uid = remap->entries[value];
    }
    return scene->FindBodyFromUid(uid);
}

const char* ModeNames[] = {"Rigid", "Soft"};
const char* FlagNames[] = {"NoGravity", "NoForceField", "Mobile", "Ghost"};

uint32_t ReadBits(const zMetaFile* document, const zMetaTag* tag, const char* const* names, int count)
{
    uint32_t bits = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        for (int i = 0; i < count; ++i) {
            if (child->GetName() == names[i])
                bits |= 1u << i;
        }
    }
    return bits;
}

void WriteBits(zMetaTag* parent, const char* name, uint32_t bits, const char* const* names, int count)
{
    zMetaTag* node = parent->CreateChild(name);
    if (node == nullptr)
        return;
    for (int i = 0; i < count; ++i) {
        if ((bits & (1u << i)) != 0)
            node->CreateChild(names[i]);
    }
}

} // namespace

bool Tau::FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag, const TauUidRemap* remap,
                      void* group)
{
    if (tag == nullptr || tag->GetName() != "Tau") {
        LogError("Tau::FromMetaTag") << "could not parse physic system. Root tag id is incorrect ("
                                     << (tag != nullptr ? tag->GetName().Get() : "") << ").\n";
        return false;
    }
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        TauConstraint* constraint = nullptr;
        if (name == "ContactIteration") {
            ReadIterations(child, ContactIteration);
        } else if (name == "ConstraintIteration") {
            ReadIterations(child, ConstraintIteration);
        } else if (name == "IterationCount") {
            ReadIterations(child, ContactIteration);
            ReadIterations(child, ConstraintIteration);
        } else if (name == "SleepDelay") {
            SleepDelay = ReadInteger(child);
        } else if (name == "Frequency") {
            SetFrequency(child->GetFloat());
        } else if (name == "DistanceConstraint") {
            constraint = new (std::nothrow) TauDistanceConstraint(this, nullptr, nullptr, nullptr, nullptr, 0.0f, 0.0f);
            if (constraint == nullptr)
                LogError("Tau::FromMetaTag") << "failed to allocate a new distance constraint.\n";
        } else if (name == "PositionConstraint") {
            constraint = new (std::nothrow) TauPositionConstraint(this, nullptr, nullptr, nullptr, nullptr, 0);
            if (constraint == nullptr)
                LogError("Tau::FromMetaTag") << "failed to allocate a new position constraint.\n";
        } else if (name == "HingeConstraint") {
            constraint = new (std::nothrow) TauHingeConstraint(this, nullptr, nullptr, nullptr, nullptr, nullptr);
            if (constraint == nullptr)
                LogError("Tau::FromMetaTag") << "failed to allocate a new hinge constraint.\n";
        } else if (name == "VelocityConstraint") {
            constraint = new (std::nothrow) TauVelocityConstraint(this, nullptr, nullptr, nullptr, 56);
            if (constraint == nullptr)
                LogError("Tau::FromMetaTag") << "failed to allocate a new velocity constraint.\n";
        }
        if (constraint == nullptr)
            continue;
        constraint->FromMetaTag(scene, document, child, remap);
        AddConstraint(constraint);
        if (group != nullptr && scene != nullptr && scene->AddConstraintToGroup(group, constraint) != nullptr)
            constraint->groupOwner = scene;
    }
    return true;
}

zMetaTag* Tau::AsMetaTag(const zMetaFile* document, TauSceneServices* scene) const
{
    zMetaTag* root = zMetaTag::NewRoot("Tau", "Tau::AsMetaTag",
                                       {"could not create physic system root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    root->CreateInteger("ContactIteration", static_cast<int32_t>(ContactIteration));
    root->CreateInteger("ConstraintIteration", static_cast<int32_t>(ConstraintIteration));
    root->CreateInteger("SleepDelay", SleepDelay);
    root->CreateFloat("Frequency", Frequency);
    zLinkedListCursor cursor;
    while (const TauConstraint* c = constraints.NextAs<TauConstraint>(cursor))
        AddTag(root, c->AsMetaTag(document, scene));
    return root;
}

bool TauItem::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || tag->GetName() != "TauItem") {
        LogError("TauItem::FromMetaTag") << "Could not parse Physic item. Root tag id is incorrect ("
                                         << (tag != nullptr ? tag->GetName().Get() : "") << ").\n";
        return false;
    }
    Mode = 0;
    Flag = 0;
    Mass = 1.0f;
    GravityScale = 1.0f;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Mode")
            Mode |= ReadBits(document, child, ModeNames, 2);
        else if (name == "Flag")
            Flag |= ReadBits(document, child, FlagNames, 4);
        else if (name == "Mass")
            Mass = child->GetFloat();
        else if (name == "ITensor") {
            zMatrix3 tensor = inverseInertiaTensor;
            if (tensor.FromMetaTag(document, child))
                inverseInertiaTensor = tensor;
        } else if (name == "Pivot") {
            zVector pivot = Pivot;
            if (pivot.FromMetaTag(child))
                Pivot = zVector(pivot.x, pivot.y, pivot.z);
        } else if (name == "LinearThreshold")
            LinearThreshold = child->GetFloat();
        else if (name == "AngularThreshold")
            AngularThreshold = child->GetFloat();
        else if (name == "LinearDamping")
            LinearDamping = child->GetFloat();
        else if (name == "AngularDamping")
            AngularDamping = child->GetFloat();
        else if (name == "GravityScale")
            GravityScale = child->GetFloat();
        else
            LogWarning("TauItem::FromMetaTag") << "Unknown tag '" << name.Get() << "' in <TauItem>.\n";
    }
    return true;
}

zMetaTag* TauItem::AsMetaTag(const zMetaFile*) const
{
    zMetaTag* root = zMetaTag::NewRoot("TauItem", "TauItem::AsMetaTag",
                                       {"Could not create physic item root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    if (Mode != 0)
        WriteBits(root, "Mode", Mode, ModeNames, 2);
    if (Flag != 0)
        WriteBits(root, "Flag", Flag, FlagNames, 4);
    if (Mass != 1.0f)
        root->CreateFloat("Mass", Mass);
    AddTag(root, inverseInertiaTensor.AsMetaTag("ITensor"));
    AddTag(root, Pivot.AsMetaTag("Pivot"));
    root->CreateFloat("LinearThreshold", LinearThreshold);
    root->CreateFloat("AngularThreshold", AngularThreshold);
    root->CreateFloat("LinearDamping", LinearDamping);
    root->CreateFloat("AngularDamping", AngularDamping);
    root->CreateFloat("GravityScale", GravityScale);
    return root;
}

bool TauConstraint::ReadCommon(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                               const TauUidRemap* remap)
{
    if (tag == nullptr || tag->GetName() != "Constraint") {
        LogError("TauConstraint::FromMetaTag") << "Could not parse constraint. Root tag id is incorrect ("
                                               << (tag != nullptr ? tag->GetName().Get() : "") << ").\n";
        return false;
    }
    Enable = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Id") {
            id.Assign(child->GetString() != nullptr ? child->GetString() : "");
        } else if (name == "Enable") {
            Enable = 1;
        } else if (name == "Strength") {
            SetStrength(child->GetFloat());
        } else if (name == "MaxErrorCorrection") {
            MaxErrorCorrection = child->GetFloat();
        } else if (name == "Anchor") {
            SetAnchor(ResolveBody(scene, child, remap));
        } else if (name == "Target") {
            SetTarget(ResolveBody(scene, child, remap));
        } else if (name == "AnchorHook") {
            zVector hook = AnchorHook;
            if (hook.FromMetaTag(child))
                AnchorHook = zVector(hook.x, hook.y, hook.z);
        } else if (name == "TargetHook") {
            zVector hook = TargetHook;
            if (hook.FromMetaTag(child))
                TargetHook = zVector(hook.x, hook.y, hook.z);
        } else {
            LogWarning("TauConstraint::FromMetaTag") << "Unexpected <" << name.Get() << "> sub-tag in <Constraint>.\n";
        }
    }
    return true;
}

zMetaTag* TauConstraint::WriteCommon(TauSceneServices* scene) const
{
    zMetaTag* root = zMetaTag::NewRoot("Constraint", "TauConstraint::AsMetaTag",
                                       {"Could not create constraint root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    root->CreateString("Id", id.Get() != nullptr ? id.Get() : "");
    if (Enable != 0)
        root->CreateChild("Enable");
    root->CreateFloat("Strength", Strength);
    root->CreateFloat("MaxErrorCorrection", MaxErrorCorrection);
    if (anchor != nullptr && scene != nullptr)
        root->CreateInteger("Anchor", scene->GetBodyUid(anchor));
    AddTag(root, AnchorHook.AsMetaTag("AnchorHook"));
    if (target != nullptr && scene != nullptr)
        root->CreateInteger("Target", scene->GetBodyUid(target));
    AddTag(root, TargetHook.AsMetaTag("TargetHook"));
    return root;
}

namespace {

// The kind's node: its own keys through readKey, one "Constraint" child.
template <class ReadKey>
bool ReadKind(TauConstraint& c, const char* tagName, const char* method, const char* rootMessage,
              const char* unexpectedTail, TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
              const TauUidRemap* remap, ReadKey readKey)
{
    if (tag == nullptr || tag->GetName() != tagName) {
        LogError(method) << rootMessage << (tag != nullptr ? tag->GetName().Get() : "") << ").\n";
        return false;
    }
    bool ok = true;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        if (child->GetName() == "Constraint")
            ok = c.ReadCommon(scene, document, child, remap) && ok;
        else if (!readKey(child))
            LogWarning(method) << "Unexpected <" << child->GetName().Get() << unexpectedTail;
    }
    return ok;
}

} // namespace

bool TauDistanceConstraint::FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                                        const TauUidRemap* remap)
{
    return ReadKind(*this, "DistanceConstraint", "TauDistanceConstraint::FromMetaTag",
                    "could not parse distance constraint. Root tag id is incorrect (",
                    "> sub-tag in <DistanceConstraint>.\n", scene, document, tag, remap, [this](const zMetaTag* child) {
                        if (child->GetName() == "Min")
                            Min = child->GetFloat();
                        else if (child->GetName() == "Max")
                            Max = child->GetFloat();
                        else
                            return false;
                        return true;
                    });
}

zMetaTag* TauDistanceConstraint::AsMetaTag(const zMetaFile*, TauSceneServices* scene) const
{
    zMetaTag* root = zMetaTag::NewRoot("DistanceConstraint", "TauDistanceConstraint::AsMetaTag",
                                       {"Could not create distance constraint root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    root->CreateFloat("Min", Min);
    root->CreateFloat("Max", Max);
    AddTag(root, WriteCommon(scene));
    return root;
}

bool TauPositionConstraint::FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                                        const TauUidRemap* remap)
{
    return ReadKind(*this, "PositionConstraint", "TauPositionConstraint::FromMetaTag",
                    "Could not parse position constraint. Root tag id is incorrect (",
                    "> sub-tag in <PositionConstraint>.\n", scene, document, tag, remap, [this](const zMetaTag* child) {
                        if (child->GetName() != "Dof")
                            return false;
                        Dof = ReadInteger(child);
                        return true;
                    });
}

zMetaTag* TauPositionConstraint::AsMetaTag(const zMetaFile*, TauSceneServices* scene) const
{
    zMetaTag* root = zMetaTag::NewRoot("PositionConstraint", "TauPositionConstraint::AsMetaTag",
                                       {"Could not create position constraint root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    root->CreateInteger("Dof", Dof);
    AddTag(root, WriteCommon(scene));
    return root;
}

bool TauHingeConstraint::FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                                     const TauUidRemap* remap)
{
    return ReadKind(*this, "HingeConstraint", "TauHingeConstraint::FromMetaTag",
                    "Could not parse hinge constraint. Root tag id is incorrect (", "> sub-tag in <HingeConstraint>.\n",
                    scene, document, tag, remap, [this](const zMetaTag* child) {
                        if (child->GetName() != "Axis")
                            return false;
                        zVector axis = Axis;
                        if (axis.FromMetaTag(child))
                            Axis = zVector(axis.x, axis.y, axis.z);
                        return true;
                    });
}

zMetaTag* TauHingeConstraint::AsMetaTag(const zMetaFile*, TauSceneServices* scene) const
{
    zMetaTag* root = zMetaTag::NewRoot("HingeConstraint", "TauHingeConstraint::AsMetaTag",
                                       {"Could not create hinge constraint root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    AddTag(root, Axis.AsMetaTag("Axis"));
    AddTag(root, WriteCommon(scene));
    return root;
}

bool TauVelocityConstraint::FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                                        const TauUidRemap* remap)
{
    return ReadKind(*this, "VelocityConstraint", "TauVelocityConstraint::FromMetaTag",
                    "Could not parse velocity constraint. Root tag id is incorrect (",
                    "> sub-tag in <VelocityConstraint>.\n", scene, document, tag, remap, [this](const zMetaTag* child) {
                        if (child->GetName() != "Mask")
                            return false;
                        Mask = ReadInteger(child);
                        return true;
                    });
}

zMetaTag* TauVelocityConstraint::AsMetaTag(const zMetaFile*, TauSceneServices* scene) const
{
    zMetaTag* root = zMetaTag::NewRoot("VelocityConstraint", "TauVelocityConstraint::AsMetaTag",
                                       {"Could not create velocity constraint root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    root->CreateInteger("Mask", Mask);
    AddTag(root, WriteCommon(scene));
    return root;
}

bool TauAngularConstraint::FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                                       const TauUidRemap* remap)
{
    return ReadKind(*this, "AngularConstraint", "TauAngularConstraint::FromMetaTag",
                    "Could not parse angular constraint. Root tag id is incorrect (",
                    "> sub-tag in <AngularConstraint>.\n", scene, document, tag, remap, [this](const zMetaTag* child) {
                        if (child->GetName() != "Dof")
                            return false;
                        Dof = ReadInteger(child);
                        return true;
                    });
}

zMetaTag* TauAngularConstraint::AsMetaTag(const zMetaFile*, TauSceneServices* scene) const
{
    zMetaTag* root = zMetaTag::NewRoot("AngularConstraint", "TauAngularConstraint::AsMetaTag",
                                       {"Could not create angular constraint root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    root->CreateInteger("Dof", Dof);
    AddTag(root, WriteCommon(scene));
    return root;
}
