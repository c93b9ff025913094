// The little of a component that the session needs: an owner that holds and frees its components, a
// component name, and a "being read" state during which property changes are only recorded until Loaded.
#pragma once

#include <string>
#include <vector>

namespace korvel
{

class TComponent
{
public:
    explicit TComponent(TComponent* owner = nullptr);
    // Frees the owned components (last first) and leaves the owner.
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::vector<TComponent*>& Components() const { return components_; }

    virtual std::string Name() const { return name_; }
    virtual void SetName(const std::string& name) { name_ = name; }

    // While reading, setters record values that Loaded then applies.
    bool Reading() const { return reading_; }
    void BeginReading();
    // Ends reading for this component and its owned components and calls Loaded on each.
    void EndReading();

protected:
    virtual void Loaded() {}

private:
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::string name_;
    bool reading_ = false;
};

} // namespace korvel
