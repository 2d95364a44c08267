// PolicyConversionConnection: the conversion of an earlier installation
// (WayfetchConfiguration::convert_old_installation) goes online through the
// connection policy. open() prepares the policy for work that needs the web
// and hands over its connector (none when the policy stays offline); a
// failed download is repeated while the policy's reaction to web errors asks
// for it (a proxy's credentials prompt, say).
//
// The policy must outlive this object; it is used on the converting thread,
// which holds the list lock, as the policy asks.
#ifndef WAYFETCH_CONFIG_POLICY_CONVERSION_H
#define WAYFETCH_CONFIG_POLICY_CONVERSION_H

#include "config/connection_policy.h"
#include "config/wayfetch_configuration.h"

namespace wayfetch {

class PolicyConversionConnection : public ConversionConnection {
 public:
  explicit PolicyConversionConnection(ConnectionPolicy& policy) : policy_(policy) {}

  WebSource* open() override { return policy_.prepare(true) ? policy_.connector() : nullptr; }
  bool repeat(const WebResult& failure, int32_t /*attempts*/) override {
    WebConnector* connector = policy_.connector();
    return connector != nullptr && policy_.react_to_web_error(*connector, failure.status);
  }

 private:
  ConnectionPolicy& policy_;
};

}  // namespace wayfetch

#endif
