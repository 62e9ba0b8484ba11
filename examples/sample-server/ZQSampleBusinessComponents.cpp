#include "examples/sample-server/ZQSampleBusinessComponents.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/URL.hpp"

using platform::Value;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string errorBody(int status, const std::string& message) {
    return ZQJSON::write(
               Value::dictionary({{"error", Value::dictionary({{"code", std::to_string(status)},
                                                               {"message", message}})}}))
        .text;
}

ZQSampleBCAnswer failure(int status, const std::string& message) {
    return {status, errorBody(status, message), {}};
}

ZQSampleBCAnswer instanceAnswer(int status, const Value& instance) {
    return {status, ZQJSON::write(instance).text, {}};
}

// The query's pairs, percent-decoded; none for a bad escape.
std::optional<Pairs> queryPairs(std::string_view rawQuery) {
    Pairs pairs;
    while (!rawQuery.empty()) {
        size_t amp = rawQuery.find('&');
        std::string_view pair = rawQuery.substr(0, amp);
        rawQuery = amp == std::string_view::npos ? std::string_view() : rawQuery.substr(amp + 1);
        if (pair.empty()) continue;
        size_t equals = pair.find('=');
        std::optional<std::string> name = platform::percentUnescape(pair.substr(0, equals));
        std::optional<std::string> value = platform::percentUnescape(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!name || !value) return std::nullopt;
        pairs.emplace_back(std::move(*name), std::move(*value));
    }
    return pairs;
}

// Takes the pair of that name out of the list.
std::optional<std::string> take(Pairs& pairs, const std::string& name) {
    auto found = std::find_if(pairs.begin(), pairs.end(),
                              [&name](const auto& pair) { return pair.first == name; });
    if (found == pairs.end()) return std::nullopt;
    std::string value = std::move(found->second);
    pairs.erase(found);
    return value;
}

// A quoted-string of RFC 7230: backslash and double quote escaped.
std::string quotedText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        // Header values cannot hold line breaks; they would end the field.
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return out + "\"";
}

}  // namespace

ZQSampleBusinessComponents::ZQSampleBusinessComponents(const ZQApplicationModel& model,
                                                       ZQSampleDataStore& store)
    : store_(store) {
    for (const auto& component : model.businessComponents()) {
        if (!component->rootLevel()) continue;
        components_.push_back(
            std::make_unique<ZQSampleBusinessComponent>(component, model, store.catalog()));
    }
    std::stable_sort(components_.begin(), components_.end(), [](const auto& a, const auto& b) {
        return a->path().size() > b->path().size();
    });
}

void ZQSampleBusinessComponents::setWarning(std::optional<std::string> text) {
    platform::MutexLock lock(mutex_);
    warning_ = std::move(text);
}

const ZQSampleBusinessComponent* ZQSampleBusinessComponents::componentFor(
    const std::string& rawPath, std::string* rest) const {
    for (const auto& component : components_) {
        const std::string& path = component->path();
        if (rawPath.compare(0, path.size(), path) != 0) continue;
        if (rawPath.size() == path.size()) {
            *rest = {};
            return component.get();
        }
        if (rawPath[path.size()] == '/') {
            *rest = rawPath.substr(path.size() + 1);
            return component.get();
        }
    }
    return nullptr;
}

bool ZQSampleBusinessComponents::serves(const std::string& rawPath) const {
    std::string rest;
    return componentFor(rawPath, &rest) != nullptr;
}

ZQSampleBCAnswer ZQSampleBusinessComponents::answer(const ZQSampleBCRequest& request) {
    std::string rest;
    const ZQSampleBusinessComponent* component = componentFor(request.rawPath, &rest);
    if (!component) return failure(404, "no business component at rest/" + request.rawPath);
    std::optional<Pairs> pairs = queryPairs(request.rawQuery);
    if (!pairs) return failure(400, "the query has a bad percent escape");
    std::optional<std::string> warning = take(*pairs, "zqwarning");
    if (!warning) {
        platform::MutexLock lock(mutex_);
        warning = warning_;
    }
    ZQSampleBCAnswer answer;
    if (!component->hasViews()) {
        answer = failure(404, "no data provider shows " + component->name() +
                                  ", so the server keeps no instances of it");
    } else if (rest == "_default") {
        std::string error;
        std::optional<Value> defaults;
        if (request.method == "GET") defaults = component->defaults(store_, *pairs, &error);
        answer = request.method != "GET"
                     ? failure(405, request.method + " is not allowed on " + "the default values")
                 : defaults ? instanceAnswer(200, *defaults)
                            : failure(400, error);
    } else if (rest.find('/') != std::string::npos) {
        answer = failure(404, "only root-level instances of " + component->name() +
                                  " are served, not rest/" + request.rawPath);
    } else {
        std::optional<std::string> insertOrUpdate = take(*pairs, "insertorupdate");
        std::vector<std::string> keyTexts;
        bool badEscape = false;
        for (size_t start = 0; !rest.empty() && start <= rest.size();) {
            size_t comma = std::min(rest.find(',', start), rest.size());
            std::optional<std::string> text =
                platform::percentUnescape(std::string_view(rest).substr(start, comma - start));
            badEscape = badEscape || !text;
            keyTexts.push_back(text.value_or(""));
            start = comma + 1;
        }
        if (badEscape) {
            answer = failure(400, "the key has a bad percent escape");
        } else if (!pairs->empty()) {
            answer = failure(400, "unknown query parameter \"" + pairs->front().first + "\"");
        } else if (insertOrUpdate && (request.method != "POST" || *insertOrUpdate != "true")) {
            answer = failure(400, "insertorupdate takes only \"true\", and only on a POST");
        } else {
            answer = answerInstance(*component, request, keyTexts, insertOrUpdate.has_value());
        }
    }
    if (warning && !warning->empty())
        answer.headers.emplace_back("Warning", "299 sample-server " + quotedText(*warning));
    return answer;
}

ZQSampleBCAnswer ZQSampleBusinessComponents::answerInstance(
    const ZQSampleBusinessComponent& component, const ZQSampleBCRequest& request,
    const std::vector<std::string>& keyTexts, bool insertOrUpdate) {
    const std::string& method = request.method;
    if (method != "GET" && method != "POST" && method != "PUT" && method != "DELETE")
        return failure(405, method + " is not allowed on an instance");
    Value body;
    if (method == "POST" || method == "PUT") {
        ZQJSONParseResult parsed = ZQJSON::parse(request.body, "request body");
        if (parsed.error) return failure(400, parsed.error->localizedDescription());
        if (!parsed.value.isDictionary())
            return failure(400, "the body must be a JSON object with the instance");
        body = std::move(parsed.value);
    }
    std::string error;
    std::optional<ZQSampleInstanceKey> key;
    if (!keyTexts.empty()) {
        key = component.keyFromTexts(keyTexts, &error);
    } else if (method == "POST") {
        key = component.keyFromInstance(body, &error);
    } else {
        error = method + " needs the instance's key in the URL";
    }
    if (!key) return failure(400, error);
    const std::string described = component.name() + " " + key->text;

    platform::MutexLock lock(changeMutex_);
    std::optional<Value> stored = component.read(store_, *key);
    if (method == "GET") {
        return stored ? instanceAnswer(200, *stored) : failure(404, described + " does not exist");
    }
    if (method == "DELETE") {
        if (!stored) return failure(404, described + " does not exist");
        if (platform::ErrorPtr removed = component.remove(store_, *key))
            return failure(500, removed->localizedDescription());
        return instanceAnswer(200, *stored);
    }
    if (method == "PUT" && !stored) return failure(404, described + " does not exist");
    if (method == "POST" && stored && !insertOrUpdate)
        return failure(409, described + " exists already");
    ZQSampleInstanceResult written = component.write(store_, *key, body, stored);
    if (written.status >= 300) return failure(written.status, written.message);
    return instanceAnswer(written.status, written.instance);
}
