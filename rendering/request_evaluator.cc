// Evaluating compiled XSL requests against a data tree.
//
// Each request being evaluated is a frame on an explicit stack: groups and
// unions push a frame per context node and continue when it hands back its
// node set, so the nesting of a request costs heap, not native stack. Every
// node visited and every frame pushed is paid from the rendering's request
// budget; when it is spent the evaluation stops with error 42 and selects
// nothing, which bounds the time a hostile template or data tree can take.
//
// The node set passed from one step to the next is sorted and freed of
// duplicates. The final set would be the same without it (subscripts pick
// per context node, and the result is sorted and de-duplicated anyway), but
// "//*//*" over a deep tree would otherwise carry every node once per
// ancestor into the next step. One difference is visible: "[#random]" draws
// once per distinct context node.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "rendering/xsl_parser.h"

namespace wayfetch {
namespace {

// Candidate lists at least this long are remembered, up to this many
// node indexes in all (16 MB).
constexpr std::size_t cache_from = 32;
constexpr int64_t cache_capacity = int64_t{1} << 22;

void sort_unique(std::vector<int32_t>& nodes) {
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
}

}  // namespace

class RequestEvaluator {
 public:
  RequestEvaluator(XslParser& parser, const XmlParser& data) : parser_(parser), data_(data) {}

  // False when the budget ran out (the result is then empty).
  bool run(int32_t request, int32_t context, int32_t any_key, int32_t axis,
           std::vector<int32_t>& result) {
    result.clear();
    bool top = any_key == no_request;
    if (!push(request, context, top ? request : any_key, axis, top)) return false;
    while (!frames_.empty()) {
      if (!parser_.spend_request_work(1)) return false;
      std::vector<int32_t> finished;
      if (!step(finished)) continue;
      frames_.pop_back();
      if (frames_.empty()) {
        result = std::move(finished);
        return true;
      }
      deliver(finished);
    }
    return !parser_.request_work_spent_;
  }

 private:
  // Waiting for the result of an inner request.
  enum Phase { phase_ready, phase_group, phase_union_left, phase_union_right };

  struct Frame {
    int32_t request = no_request;
    int32_t any_key = no_request;
    bool top = false;
    int32_t step = -1;             // the step being evaluated
    int32_t axis = axis_children;  // its incoming axis
    std::vector<int32_t> current;  // the context nodes of the step
    std::size_t next = 0;          // the next context node to take
    std::vector<int32_t> output;   // what the step picked so far
    std::vector<int32_t> left;     // a union's left result, while the right one runs
    Phase phase = phase_ready;
    bool condition_reported = false;  // error 41 once per step
  };

  const RequestStep* step_at(int32_t id) const {
    if (id < 0 || id >= parser_.steps_.size()) return nullptr;
    return &parser_.steps_.get(id);
  }

  bool push(int32_t request, int32_t context, int32_t any_key, int32_t axis, bool top) {
    if (!parser_.spend_request_work(1)) return false;
    Frame frame;
    frame.request = request;
    frame.any_key = any_key;
    frame.top = top;
    frame.step = request;
    frame.axis = axis;
    if (context != -1) frame.current.push_back(context);
    frames_.push_back(std::move(frame));
    return true;
  }

  void raise(int32_t code) {
    parser_.raise_error(code, parser_.position_line_, parser_.position_context_);
  }

  // Works on the top frame; true with `finished` filled when its request is
  // complete, false when it continues (possibly after pushing a frame).
  bool step(std::vector<int32_t>& finished) {
    Frame& frame = frames_.back();
    const RequestStep* s = step_at(frame.step);
    if (s == nullptr) {
      // Only a damaged table names a step that does not exist.
      raise(errors::request_failed);
      return finish(frame, finished);
    }
    if (s->kind == kind_root) {
      frame.output.assign(1, 0);
      return end_step(frame, *s, finished);
    }
    if (frame.next >= frame.current.size()) return end_step(frame, *s, finished);
    int32_t x = frame.current[frame.next];
    switch (s->kind) {
      case kind_parent:
      case kind_self:
      case kind_any_element:
      case kind_named: {
        const std::vector<int32_t>* candidates = collect(*s, frame.step, x, frame.axis);
        if (candidates == nullptr) return false;
        pick(frame, *s, *candidates);
        ++frame.next;
        return false;
      }
      case kind_group:
        frame.phase = phase_group;
        return inner(s->sub, x, frame.any_key, frame.axis);
      case kind_union:
        frame.phase = phase_union_left;
        return inner(s->sub, x, frame.any_key, frame.axis);
      default:
        raise(errors::request_failed);
        frame.next = frame.current.size();
        return false;
    }
  }

  // Evaluates an inner request from `x` in a frame of its own; a missing one
  // selects nothing at once.
  bool inner(int32_t request, int32_t x, int32_t any_key, int32_t axis) {
    if (request < 0) {
      std::vector<int32_t> none;
      deliver(none);
    } else if (!push(request, x, any_key, axis, false)) {
      frames_.clear();
    }
    return false;
  }

  // The top frame receives an inner request's node set.
  void deliver(std::vector<int32_t>& nodes) {
    Frame& frame = frames_.back();
    const RequestStep* s = step_at(frame.step);
    if (s == nullptr) return;
    if (frame.phase == phase_union_left) {
      // The union's candidates are the left result followed by the right one.
      frame.left = std::move(nodes);
      frame.phase = phase_union_right;
      inner(s->right, frame.current[frame.next], frame.any_key, frame.axis);
      return;
    }
    if (frame.phase == phase_union_right) {
      frame.left.insert(frame.left.end(), nodes.begin(), nodes.end());
      pick(frame, *s, frame.left);
      frame.left.clear();
    } else {
      pick(frame, *s, nodes);
    }
    frame.phase = phase_ready;
    ++frame.next;
  }

  // The step is done for every context node: on to the next step, or finish.
  bool end_step(Frame& frame, const RequestStep& s, std::vector<int32_t>& finished) {
    if (s.next < 0) return finish(frame, finished);
    frame.current.swap(frame.output);
    frame.output.clear();
    sort_unique(frame.current);
    frame.next = 0;
    frame.axis = s.axis;
    frame.step = s.next;
    frame.phase = phase_ready;
    frame.condition_reported = false;
    return false;
  }

  bool finish(Frame& frame, std::vector<int32_t>& finished) {
    finished = std::move(frame.output);
    sort_unique(finished);
    if (frame.top) {
      if (frame.request >= 0 &&
          static_cast<std::size_t>(frame.request) < parser_.any_counters_.size()) {
        ++parser_.any_counters_[static_cast<std::size_t>(frame.request)];
      }
      // A top-level request never returns the document node.
      if (!finished.empty() && finished.front() == 0) finished.erase(finished.begin());
    }
    return true;
  }

  // The candidates of a simple step from context node `x`; nullptr when
  // the budget ran out.
  const std::vector<int32_t>* collect(const RequestStep& s, int32_t step, int32_t x, int32_t axis) {
    candidates_.clear();
    if (!data_.valid(x)) return &candidates_;
    const XmlNode& node = data_.get(x);
    if (s.kind == kind_parent) {
      if (data_.valid(node.parent)) candidates_.push_back(node.parent);
      return &candidates_;
    }
    if (s.kind == kind_self) {
      candidates_.push_back(x);
      return &candidates_;
    }
    if (axis != axis_children && axis != axis_descendants) return &candidates_;
    uint64_t key = (static_cast<uint64_t>(x) << 32) | (static_cast<uint64_t>(step) << 1) |
                   (axis == axis_descendants ? 1u : 0u);
    if (parser_.caching_) {
      auto cached = parser_.candidate_cache_.find(key);
      if (cached != parser_.candidate_cache_.end()) return &cached->second;
    }

    if (axis == axis_children) {
      if (!parser_.spend_request_work(node.children.size())) return nullptr;
      for (int32_t child : node.children) {
        if (child > x && data_.valid(child) && matches(s, child)) candidates_.push_back(child);
      }
    } else {
      // Every element below x in document order: a pre-order walk with an
      // explicit stack of (element, next child position).
      walk_.clear();
      walk_.emplace_back(x, 0);
      while (!walk_.empty()) {
        auto& [at, position] = walk_.back();
        const ChildList& children = data_.get(at).children;
        if (position >= children.size()) {
          walk_.pop_back();
          continue;
        }
        int32_t child = children.get(position++);
        if (!parser_.spend_request_work(1)) return nullptr;
        if (child <= at || !data_.valid(child) || data_.get(child).kind != node_element) continue;
        if (matches(s, child)) candidates_.push_back(child);
        walk_.emplace_back(child, 0);
      }
    }
    if (parser_.caching_ && candidates_.size() >= cache_from &&
        parser_.cached_candidates_ + static_cast<int64_t>(candidates_.size()) <= cache_capacity) {
      parser_.cached_candidates_ += static_cast<int64_t>(candidates_.size());
      return &(parser_.candidate_cache_[key] = candidates_);
    }
    return &candidates_;
  }

  bool matches(const RequestStep& s, int32_t i) const {
    const XmlNode& node = data_.get(i);
    if (node.kind != node_element) return false;
    if (s.kind == kind_any_element) return true;
    return !s.name.empty() && node.name.compare(s.name, false, false) == 0;
  }

  // Appends to the step's output the candidates its subscript keeps.
  void pick(Frame& frame, const RequestStep& s, const std::vector<int32_t>& candidates) {
    std::size_t before = frame.output.size();
    pick_from(frame, s, candidates);
    // What a step passes on is work too: "//*" in a long loop is paid for.
    parser_.spend_request_work(static_cast<int64_t>(frame.output.size() - before));
  }

  void pick_from(Frame& frame, const RequestStep& s, const std::vector<int32_t>& candidates) {
    uint64_t n = candidates.size();
    auto take = [&](uint64_t position) {
      if (position < n) {
        frame.output.push_back(candidates[position]);
      } else if (s.wraps && n > 0) {
        frame.output.push_back(candidates[position % n]);
      }
    };
    auto first = static_cast<uint64_t>(static_cast<uint32_t>(s.first));
    switch (s.subscript) {
      case subscript_all:
        frame.output.insert(frame.output.end(), candidates.begin(), candidates.end());
        break;
      case subscript_index:
        take(first);
        break;
      case subscript_range:
        for (uint64_t i = first; i <= static_cast<uint32_t>(s.last) && i < n; ++i) {
          frame.output.push_back(candidates[i]);
        }
        break;
      case subscript_from:
        if (s.wraps) {
          for (uint64_t k = 0; k < n; ++k) frame.output.push_back(candidates[(first + k) % n]);
        } else {
          for (uint64_t i = first; i < n; ++i) frame.output.push_back(candidates[i]);
        }
        break;
      case subscript_last:
        if (n > 0) frame.output.push_back(candidates[n - 1]);
        break;
      case subscript_random:
        if (n > 0) frame.output.push_back(candidates[static_cast<uint64_t>(parser_.random_()) % n]);
        break;
      case subscript_loop_index:
        take(parser_.loop_value(s.loop_slot));
        break;
      case subscript_any:
        take(parser_.any_counter(frame.any_key));
        break;
      case subscript_predicate:
        if (!frame.condition_reported) raise(errors::request_not_implemented);
        frame.condition_reported = true;
        break;
      default:
        raise(errors::request_failed);
        break;
    }
  }

  XslParser& parser_;
  const XmlParser& data_;
  std::vector<Frame> frames_;
  std::vector<int32_t> candidates_;
  std::vector<std::pair<int32_t, int32_t>> walk_;
};

void XslParser::evaluate_request(int32_t request_id, const XmlParser& data_tree,
                                 int32_t context_node, Storage<int32_t>& out_nodes, int32_t any_key,
                                 int32_t axis_in) {
  out_nodes.clear();
  if (request_id < 0 || !data_tree.self_check() || !out_nodes.self_check()) return;
  if (request_work_spent_) {
    // Each request that finds the budget spent fails with 42 for its caller
    // to see; the log heard of it once, when it ran out.
    error = errors::request_failed;
    return;
  }
  if (cached_tree_ != &data_tree || cached_tree_nodes_ != data_tree.node_count()) {
    candidate_cache_.clear();
    cached_candidates_ = 0;
    cached_tree_ = &data_tree;
    cached_tree_nodes_ = data_tree.node_count();
  }
  RequestEvaluator evaluator(*this, data_tree);
  std::vector<int32_t> result;
  if (!evaluator.run(request_id, context_node, any_key, axis_in, result)) return;
  for (int32_t node : result) out_nodes.push(node);
}

bool XslParser::spend_request_work(int64_t amount) {
  if (request_work_spent_) return false;
  request_work_left_ -= amount;
  if (request_work_left_ >= 0) return true;
  request_work_spent_ = true;
  raise_error(errors::request_failed, position_line_, position_context_);
  return false;
}

}  // namespace wayfetch
