#!/usr/bin/python3
"""Small ONNX models that meet (or deliberately break) the contracts of the two noise
suppressors. They stand in for the real models in tests and in a demonstration models folder.

    make_denoise_models.py demo  <dir>   fastenhancer.onnx and dpdfnet.onnx for a models folder
    make_denoise_models.py tests <dir>   one file per test case, named after the case

Run with Debian's python3-onnx (/usr/bin/python3)."""

import os
import sys

import onnx
from onnx import TensorProto, helper

OPSET = [helper.make_opsetid("", 13)]
# The mark of a stand-in model: it passes audio through, so the client runs WebRTC's noise
# suppressor in its place and says so in its log.
PASSTHROUGH_MARK = {"kestova_passthrough": "1"}
F = TensorProto.FLOAT


def tensor(name, shape):
    return helper.make_tensor_value_info(name, F, shape)


def save(model_path, inputs, outputs, nodes, initializers=(), metadata=None):
    graph = helper.make_graph(nodes, os.path.basename(model_path), inputs, outputs, list(initializers))
    model = helper.make_model(graph, opset_imports=OPSET, producer_name="kestova-test-models")
    model.ir_version = 8
    if metadata:
        for key, value in metadata.items():
            entry = model.metadata_props.add()
            entry.key = key
            entry.value = value
    onnx.checker.check_model(model)
    onnx.save(model, model_path)


def const(name, values, dims):
    return helper.make_tensor(name, F, dims, values)


# ---- FastEnhancer: wav_in (1, hop) + cache_in_N -> audio + cache_out_N ----

def fastenhancer_scaling(path, hop=480, gain=0.5, step=0.001, metadata=None):
    """audio = gain * wav_in + state; state grows by `step` each run (state hand-over is
    visible in the output)."""
    save(path,
         [tensor("wav_in", [1, hop]), tensor("cache_in_0", [1, 1])],
         [tensor("enhanced", [1, hop]), tensor("cache_out_0", [1, 1])],
         [helper.make_node("Mul", ["wav_in", "gain"], ["scaled"]),
          helper.make_node("Add", ["scaled", "cache_in_0"], ["enhanced"]),
          helper.make_node("Add", ["cache_in_0", "step"], ["cache_out_0"])],
         [const("gain", [gain], []), const("step", [step], [])], metadata)


def fastenhancer_generic(path, inputs, outputs):
    """Any signature (only the signature matters): a state output copies the state input of the
    same index when there is one, every other output copies the first input."""
    shapes = dict(inputs)
    by_index = {}
    for name, _ in inputs:
        if name.startswith("cache_in_") and name[len("cache_in_"):].isdigit():
            by_index[int(name[len("cache_in_"):])] = name
    first = inputs[0][0]
    nodes, outs = [], []
    for name, _ in outputs:
        source = first
        if name.startswith("cache_out_") and name[len("cache_out_"):].isdigit():
            source = by_index.get(int(name[len("cache_out_"):]), first)
        nodes.append(helper.make_node("Identity", [source], [name]))
        outs.append(tensor(name, shapes[source]))
    save(path, [tensor(n, s) for n, s in inputs], outs, nodes)


def fastenhancer_cases(d):
    fastenhancer_scaling(os.path.join(d, "fe_scaling.onnx"))
    fastenhancer_scaling(os.path.join(d, "fe_hop160.onnx"), hop=160, gain=1.0, step=0.0)
    fastenhancer_scaling(os.path.join(d, "fe_hop256.onnx"), hop=256, gain=1.0, step=0.0)
    fastenhancer_scaling(os.path.join(d, "fe_passthrough_marked.onnx"), gain=1.0, step=0.0,
                         metadata=PASSTHROUGH_MARK)
    fastenhancer_scaling(os.path.join(d, "fe_passthrough_wrong_mark.onnx"), gain=1.0, step=0.0,
                         metadata={"kestova_passthrough": "0"})
    # The state changes shape after the first run, so every later run fails.
    save(os.path.join(d, "fe_state_grows.onnx"),
         [tensor("wav_in", [1, 480]), tensor("cache_in_0", [1, 1])],
         [tensor("enhanced", [1, 480]), tensor("cache_out_0", [1, 2])],
         [helper.make_node("Identity", ["wav_in"], ["enhanced"]),
          helper.make_node("Concat", ["cache_in_0", "cache_in_0"], ["cache_out_0"], axis=1)])
    w = ("wav_in", [1, 480])
    cases = {
        "fe_two_caches": ([w, ("cache_in_2", [1, 3]), ("cache_in_0", [2, 2])],
                          [("enhanced", None), ("cache_out_0", None), ("cache_out_2", None)]),
        "fe_cache_no_digits": ([w, ("cache_in_", [1, 1])], [("enhanced", None), ("cache_out_0", None)]),
        "fe_cache_letters": ([w, ("cache_in_x", [1, 1])], [("enhanced", None)]),
        "fe_no_wav_in": ([("audio", [1, 480])], [("enhanced", None)]),
        "fe_only_state": ([("cache_in_0", [1, 1])], [("enhanced", None), ("cache_out_0", None)]),
        "fe_two_audio_outputs": ([w], [("enhanced", None), ("extra", None)]),
        "fe_unpaired_output": ([w], [("enhanced", None), ("cache_out_1", None)]),
        "fe_index_mismatch": ([w, ("cache_in_1", [1, 1])], [("enhanced", None), ("cache_out_3", None)]),
        "fe_no_audio_output": ([w, ("cache_in_0", [1, 1])], [("cache_out_0", None)]),
        "fe_wav_dynamic": ([("wav_in", [1, "hop"])], [("enhanced", None)]),
        "fe_wav_batch2": ([("wav_in", [2, 480])], [("enhanced", None)]),
        "fe_wav_1d": ([("wav_in", [480])], [("enhanced", None)]),
        "fe_cache_dynamic": ([w, ("cache_in_0", [1, "n"])], [("enhanced", None), ("cache_out_0", None)]),
        "fe_leading_zero": ([w, ("cache_in_07", [1, 1])], [("enhanced", None), ("cache_out_7", None)]),
    }
    for name, (inputs, outputs) in cases.items():
        fastenhancer_generic(os.path.join(d, name + ".onnx"), inputs, outputs)


# ---- DPDFNet: spectrum (1, 1, bins, 2) + state -> spectrum + state, with metadata ----

def dpdfnet_model(path, spec_shape=(1, 1, 481, 2), state_shape=(64,), metadata=None, extra_io=False,
                  gain=1.0, mark=False):
    meta = {
        "state_size": "64",
        "erb_norm_state_size": "2",
        "spec_norm_state_size": "3",
        "erb_norm_init": "0.5, -1.5",
        "spec_norm_init": "0.25,0.125,1e-3",
    }
    if metadata is not None:
        meta.update(metadata)
        meta = {k: v for k, v in meta.items() if v is not None}
    if mark:
        meta.update(PASSTHROUGH_MARK)
    inputs = [tensor("spec", list(spec_shape)), tensor("state", list(state_shape))]
    outputs = [tensor("spec_out", list(spec_shape)), tensor("state_out", list(state_shape))]
    nodes = [helper.make_node("Mul", ["spec", "gain"], ["spec_out"]),
             # The state's first value counts runs, so its hand-over can be observed.
             helper.make_node("Add", ["state", "bump"], ["state_out"])]
    static = all(isinstance(x, int) for x in state_shape)
    bump_shape = list(state_shape) if static else [1]
    bump = [1.0] + [0.0] * (_count(bump_shape) - 1)
    inits = [const("gain", [gain], []), const("bump", bump, bump_shape)]
    if extra_io:
        inputs.append(tensor("unused_in", [1]))
        outputs.append(tensor("unused_out", [1]))
        nodes.append(helper.make_node("Identity", ["unused_in"], ["unused_out"]))
    save(path, inputs, outputs, nodes, inits, meta)


def _count(shape):
    n = 1
    for s in shape:
        n *= s if isinstance(s, int) and s > 0 else 1
    return n


def dpdfnet_cases(d):
    p = lambda name: os.path.join(d, name + ".onnx")
    dpdfnet_model(p("dp_identity"))
    dpdfnet_model(p("dp_passthrough_marked"), mark=True)
    dpdfnet_model(p("dp_extra_io"), extra_io=True)
    dpdfnet_model(p("dp_spec_1d"), spec_shape=(481,))
    dpdfnet_model(p("dp_spec_bins1"), spec_shape=(1, 1, 1, 2))
    dpdfnet_model(p("dp_state_dynamic"), state_shape=("s",))
    dpdfnet_model(p("dp_missing_spec_norm_init"), metadata={"spec_norm_init": None})
    dpdfnet_model(p("dp_state_too_small"), state_shape=(100,),
                  metadata={"state_size": "100", "erb_norm_state_size": "32", "spec_norm_state_size": "96",
                            "erb_norm_init": ",".join(["0"] * 32), "spec_norm_init": ",".join(["0"] * 96)})
    dpdfnet_model(p("dp_state_size_mismatch"), metadata={"state_size": "65"})
    dpdfnet_model(p("dp_bad_float"), metadata={"erb_norm_init": "0.1,,0.3", "erb_norm_state_size": "3"})
    dpdfnet_model(p("dp_bad_integer"), metadata={"state_size": "many"})
    # The state doubles after the first run, so every later run fails.
    save(p("dp_state_grows"), [tensor("spec", [1, 1, 481, 2]), tensor("state", [64])],
         [tensor("spec_out", [1, 1, 481, 2]), tensor("state_out", [128])],
         [helper.make_node("Identity", ["spec"], ["spec_out"]),
          helper.make_node("Concat", ["state", "state"], ["state_out"], axis=0)], (),
         {"state_size": "64", "erb_norm_state_size": "0", "spec_norm_state_size": "0",
          "erb_norm_init": "", "spec_norm_init": ""})
    # One input and one output only.
    save(p("dp_one_io"), [tensor("spec", [1, 1, 481, 2])], [tensor("spec_out", [1, 1, 481, 2])],
         [helper.make_node("Identity", ["spec"], ["spec_out"])], (), {})


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("demo", "tests"):
        print(__doc__)
        return 2
    d = sys.argv[2]
    os.makedirs(d, exist_ok=True)
    if sys.argv[1] == "demo":
        # Pass-through models of the right shape: they show the path working, they do not
        # suppress noise, and they carry the mark that says so.
        fastenhancer_scaling(os.path.join(d, "fastenhancer.onnx"), gain=1.0, step=0.0, metadata=PASSTHROUGH_MARK)
        dpdfnet_model(os.path.join(d, "dpdfnet.onnx"), mark=True)
    else:
        fastenhancer_cases(d)
        dpdfnet_cases(d)
    return 0


if __name__ == "__main__":
    sys.exit(main())
