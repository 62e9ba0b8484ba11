// One level of a business component: the root level or a child level with its parent. The
// business component owns its levels; a level refers to its component and its parent weakly.
// Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentAttribute.hpp"

class ZQBusinessComponentModel;

class ZQBusinessComponentLevel {
  public:
    // levelName is the name under which a parent instance carries this level's items (the
    // member name in JSON); it defaults to name.
    ZQBusinessComponentLevel(std::string name, std::string levelName);

    const std::string& name() const { return name_; }
    const std::string& levelName() const { return levelName_; }
    std::shared_ptr<const ZQBusinessComponentModel> businessComponent() const {
        return businessComponent_.lock();
    }
    // None for the root level.
    std::shared_ptr<const ZQBusinessComponentLevel> parentLevel() const {
        return parentLevel_.lock();
    }
    const std::vector<std::shared_ptr<const ZQBusinessComponentLevel>>& childLevels() const {
        return childLevels_;
    }
    const std::vector<std::shared_ptr<const ZQBusinessComponentAttribute>>& attributes() const {
        return attributes_;
    }
    // The key attributes, in attribute order.
    std::vector<std::shared_ptr<const ZQBusinessComponentAttribute>> keyAttributes() const;
    // None when the level has no attribute of that name (exact match).
    std::shared_ptr<const ZQBusinessComponentAttribute> attributeNamed(
        const std::string& name) const;

    // Loader only.
    void setBusinessComponent(std::weak_ptr<const ZQBusinessComponentModel> component) {
        businessComponent_ = std::move(component);
    }
    void setParentLevel(std::weak_ptr<const ZQBusinessComponentLevel> parent) {
        parentLevel_ = std::move(parent);
    }
    void addChildLevel(std::shared_ptr<const ZQBusinessComponentLevel> child) {
        childLevels_.push_back(std::move(child));
    }
    void addAttribute(std::shared_ptr<const ZQBusinessComponentAttribute> attribute) {
        attributes_.push_back(std::move(attribute));
    }

  private:
    std::string name_;
    std::string levelName_;
    std::weak_ptr<const ZQBusinessComponentModel> businessComponent_;
    std::weak_ptr<const ZQBusinessComponentLevel> parentLevel_;
    std::vector<std::shared_ptr<const ZQBusinessComponentLevel>> childLevels_;
    std::vector<std::shared_ptr<const ZQBusinessComponentAttribute>> attributes_;
};
