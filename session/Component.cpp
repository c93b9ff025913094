#include "session/Component.h"

#include <algorithm>

namespace korvel
{

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
    if (owner_)
        owner_->components_.push_back(this);
}

TComponent::~TComponent()
{
    // Each owned component removes itself from components_ as it goes.
    while (!components_.empty())
        delete components_.back();
    if (owner_)
        std::erase(owner_->components_, this);
}

void TComponent::BeginReading()
{
    reading_ = true;
    for (TComponent* component : components_)
        component->BeginReading();
}

void TComponent::EndReading()
{
    // Every component of the tree stops reading before any Loaded runs, so Loaded sees its siblings loaded.
    std::vector<TComponent*> loaded;
    auto stopReading = [&loaded](auto& self, TComponent* component) -> void
    {
        if (component->reading_)
        {
            component->reading_ = false;
            loaded.push_back(component);
        }
        for (TComponent* child : component->components_)
            self(self, child);
    };
    stopReading(stopReading, this);
    for (TComponent* component : loaded)
        component->Loaded();
}

} // namespace korvel
