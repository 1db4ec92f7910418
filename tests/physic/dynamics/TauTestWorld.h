#pragma once

#include "core/item/zItem.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauSceneServices.h"

#include <cstdint>
#include <memory>
#include <vector>

// What the scene embeds per item: the item, its collision item and its body.
struct SceneBody {
    explicit SceneBody(Tau* world) : item(nullptr), body(world)
    {
        item.orientationMethod = zItem::OrientationQuaternion;
        body.owner = &item;
        body.collisionItem = &collision;
        collision.body = &body;
        collision.owner = &item;
    }
    zItem item;
    GColItem collision;
    TauItem body;
    int32_t uid = 0;
};

// A small scene: collision world, rigid-body world and bodies, driven as the
// scene drives them, with the scene services the physics calls.
class TestWorld : public TauSceneServices {
public:
    TestWorld()
    {
        tau.collision = &collide;
        tau.clock = &TestWorld::Clock;
        now = 0;
    }
    ~TestWorld() override
    {
        tau.Clear(false);
        for (auto& b : bodies)
            collide.RemoveItem(&b->collision);
    }

    SceneBody* Add(const zVector& position, float mass)
    {
        bodies.push_back(std::make_unique<SceneBody>(&tau));
        SceneBody* b = bodies.back().get();
        b->uid = static_cast<int32_t>(bodies.size()) + 100;
        b->body.Mode = TauItem::ModeRigid;
        return Finish(b, position, mass);
    }
    SceneBody* AddBox(const zVector& size, const zVector& position, float mass)
    {
        SceneBody* b = Add(position, mass);
        b->collision.AddCuboidShape(&size)->Mass = mass;
        return Setup(b, position);
    }
    SceneBody* AddSphere(float radius, const zVector& position, float mass)
    {
        SceneBody* b = Add(position, mass);
        b->collision.AddSphereShape(radius)->Mass = mass;
        return Setup(b, position);
    }

    // A static mesh; the geometry is borrowed and must outlive the world.
    SceneBody* AddMesh(zGeometry* geometry, const zVector& position)
    {
        SceneBody* b = Add(position, 0.0f);
        if (GColShape* shape = b->collision.AddMeshShape(geometry))
            shape->Mass = 0.0f;
        return Setup(b, position);
    }

    // One frame as the scene runs it.
    float Frame(float dt)
    {
        for (auto& b : bodies)
            b->item.previousWorldMatrix = b->item.worldMatrix;
        return tau.Update(dt);
    }

    TauItem* FindBodyFromUid(int32_t uid) override
    {
        for (auto& b : bodies) {
            if (b->uid == uid)
                return &b->body;
        }
        return nullptr;
    }
    int32_t GetBodyUid(const TauItem* body) override
    {
        for (auto& b : bodies) {
            if (&b->body == body)
                return b->uid;
        }
        return -1;
    }
    TauConstraint* AddConstraintToGroup(void* group, TauConstraint* constraint) override
    {
        static_cast<std::vector<TauConstraint*>*>(group)->push_back(constraint);
        groups.push_back(static_cast<std::vector<TauConstraint*>*>(group));
        return constraint;
    }
    void ForgetConstraint(TauConstraint* constraint) override
    {
        for (auto* g : groups)
            std::erase(*g, constraint);
    }

    static uint32_t Clock() { return now; }
    static inline uint32_t now = 0;

    GCollide collide;
    Tau tau;
    std::vector<std::unique_ptr<SceneBody>> bodies;
    std::vector<std::vector<TauConstraint*>*> groups;

private:
    SceneBody* Finish(SceneBody* b, const zVector& position, float)
    {
        b->item.position = position;
        b->item.UpdateWorldMatrix();
        b->item.previousWorldMatrix = b->item.worldMatrix;
        return b;
    }
    SceneBody* Setup(SceneBody* b, const zVector& position)
    {
        TauItem& body = b->body;
        const float mass = b->collision.GetMass();
        if (mass != 0.0f) {
            body.ComputeInertiaTensorAndCoM(&b->collision);
            body.ComputeInverseMass();
        } else {
            body.Mass = 0.0f;
            body.inverseMass = 0.0f;
        }
        body.ResetTransformation(&position, nullptr);
        b->item.UpdateWorldMatrix();
        b->item.previousWorldMatrix = b->item.worldMatrix;
        collide.AddItem(&b->collision);
        tau.AddItem(&body);
        return b;
    }
};
