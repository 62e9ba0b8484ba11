// The online provider of a prompt rule's after-prompt service: one GET of
// rest/<service path>?<inputs> on the application's server, whose reply (a JSON array of the
// output values, in the order of the rule's outputs) becomes a dictionary from field name to value
// for the delegate. Made by the host through the registered factory; load and cancel on the main
// thread, the request on its private queue (ZQFieldServiceRequestQueue), results handed to the
// main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/field-services/ZQFieldServiceRequestQueue.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityRulePromptAfterServiceProvider.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperationDelegate.hpp"

class ZQEntityRulePromptAfterServiceRESTProvider
    : public ZQEntityRulePromptAfterServiceProvider,
      public ZQURLRequestOperationDelegate,
      public ZQParseJsonOperationDelegate,
      public std::enable_shared_from_this<ZQEntityRulePromptAfterServiceRESTProvider> {
  public:
    static std::shared_ptr<ZQEntityRulePromptAfterServiceRESTProvider> create(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityRulePrompt> promptRule, platform::Dictionary userInfo);

    // False, and nothing sent, when the rule has inputs and there is no entity to read them from.
    bool load() override;
    void cancel() override { requests_.cancel(); }

    // The path of the rule's service below the server ("rest/Sales/ComputeTotals?Qty=3"); none
    // without a service name.
    static std::optional<std::string> serviceURLString(
        const ZQEntityRulePrompt& rule, const std::optional<std::string>& parameters);

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override;
    void parseJsonOperationDidFinishParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override;

    // Through create() only; public for make_shared.
    using ZQEntityRulePromptAfterServiceProvider::ZQEntityRulePromptAfterServiceProvider;

  private:
    void parametersArrived(const std::shared_ptr<platform::OperationQueue>& queue,
                           const std::optional<std::string>& parameters);
    // Main thread: the values of the reply by field name, to the delegate.
    void deliver(const platform::Value& parsedData);
    void failOnMain(const platform::ErrorPtr& error);

    ZQFieldServiceRequestQueue requests_;
};
