// The file form of a managed-object model: a line-oriented text that reads back into an equal
// model. Stateless; any thread. A file that is missing, unreadable or not of this form reads as
// no model with an error in the platform's domain.
#pragma once

#include <memory>
#include <string>

#include "platform/Error.hpp"

namespace platform {

class ManagedObjectModel;

class ModelFile {
  public:
    // The file's text. Without the storage hints (how a store lays out an index, not what the
    // model holds) it is the text the model's version hash is taken from, so that a hint added
    // later leaves existing stores valid.
    static std::string serialize(const ManagedObjectModel& model, bool withStorageHints = true);
    static std::shared_ptr<ManagedObjectModel> parse(const std::string& text, ErrorPtr& error);

    [[nodiscard]] static ErrorPtr write(const ManagedObjectModel& model, const std::string& path);
    static std::shared_ptr<ManagedObjectModel> read(const std::string& path, ErrorPtr& error);
};

}  // namespace platform
