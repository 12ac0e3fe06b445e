// The page's platform in JavaScript (platform_web.cpp is its C++ side, page_web.html the page):
// linked into index.js ahead of the program, so the C++ side's EM_JS functions call webAudio
// and webPage by name, and these call the program's exports (Module._web...).
//
// webAudio is the audio side of the output device: an audio context, the node that plays a
// copy of the engine's ring in an endless loop, and the audio clock. The ring is played by an
// AudioWorkletNode, on the browser's audio thread, so that nothing the page's thread does
// (drawing, a collection of garbage, a hidden tab) can break the sound while the ring holds
// mixed music. AudioWorklets exist only in secure contexts (https, or a server on localhost);
// elsewhere a ScriptProcessorNode plays the same ring on the page's thread. Neither can read
// WebAssembly memory without SharedArrayBuffer, which a plain static server does not enable, so
// the player keeps its own copy of the ring: the whole ring when play starts, then every block
// that the engine mixes again.
//
// webPage is the page: the start on a click or a key (browsers start sound only after one), the
// canvas, full screen, and the figures that the end-to-end check and the benchmark read
// (window.demo). With ?autostart the demo starts without a gesture where the browser allows it;
// with ?bench the page also marks the stages of every frame on its performance timeline and
// measures the level of its sound.

const pageQuery = new URLSearchParams(location.search);
const benchmarking = pageQuery.has('bench');

// Plays a ring of interleaved 16-bit stereo frames in an endless loop at `step` ring frames a
// context frame (1 unless the context refused the engine's rate), and reports how far it has
// played once a block. This class is also the source of the worklet, so it refers to nothing
// outside itself.
class RingPlayer {
  constructor(report) {
    this.report = report;
    this.ring = null;
  }

  // {type: 'play', samples, blockFrames, step}: a new ring, played from its start.
  // {type: 'blocks', first, samples}: whole blocks mixed again, from ring frame `first` on.
  // {type: 'stop'}: silence, and the position goes back to 0.
  handle(message) {
    if (message.type === 'play') {
      this.ring = message.samples;
      this.frames = this.ring.length / 2;
      this.blockFrames = message.blockFrames;
      this.blockCount = Math.floor(this.frames / this.blockFrames);
      this.step = message.step;
      this.consumed = 0;  // ring frames played since play, fractional when resampling
      this.reportedBlock = -1;
      this.startFrame = -1;
      // The context frame of the first render since play (apart from startFrame, which
      // sets the music's clock, so that a fault there shows), the context frames rendered
      // since, and the most of them that the renders' playback times left no time for.
      this.firstFrame = -1;
      this.renderedFrames = 0;
      this.unheard = 0;
      // How often each block was mixed again since play, and the blocks that were played
      // before their new music arrived: the music stuttered there.
      this.refreshes = new Uint32Array(this.blockCount);
      this.stale = 0;
    } else if (message.type === 'blocks' && this.ring) {
      this.ring.set(message.samples, 2 * message.first);
      const first = message.first / this.blockFrames;
      const count = message.samples.length / 2 / this.blockFrames;
      for (let b = first; b < first + count; ++b) this.refreshes[b % this.blockCount] += 1;
    } else if (message.type === 'stop') {
      this.ring = null;
    }
  }

  // Fills the two channels with the next frames; contextFrame is the context's frame number
  // of the first of them.
  render(left, right, contextFrame) {
    const ring = this.ring;
    if (!ring) {
      left.fill(0);
      right.fill(0);
      return;
    }
    if (this.startFrame < 0) this.startFrame = contextFrame;
    // A ScriptProcessorNode that the page's thread kept waiting asks for several buffers at
    // once, and the browser plays only the last of them: their playback times leave no room
    // for the others, whose music went by unheard.
    if (this.firstFrame < 0) this.firstFrame = contextFrame;
    this.unheard =
        Math.max(this.unheard, this.renderedFrames - (contextFrame - this.firstFrame));
    this.renderedFrames += left.length;
    const frames = this.frames;
    const step = this.step;
    let position = this.consumed % frames;
    for (let i = 0; i < left.length; ++i) {
      const k = Math.floor(position);
      const fraction = position - k;
      const next = k + 1 === frames ? 0 : k + 1;
      left[i] = (ring[2 * k] + (ring[2 * next] - ring[2 * k]) * fraction) / 32768;
      right[i] = (ring[2 * k + 1] + (ring[2 * next + 1] - ring[2 * k + 1]) * fraction) / 32768;
      position += step;
      if (position >= frames) position -= frames;
    }
    this.consumed += left.length * step;
    const played = Math.floor(this.consumed);
    const block = Math.floor(played / this.blockFrames);
    if (block === this.reportedBlock) return;
    for (let b = this.reportedBlock + 1; b <= block; ++b) {
      const lap = Math.floor(b / this.blockCount);
      if (lap > 0 && this.refreshes[b % this.blockCount] < lap) this.stale += 1;
    }
    this.reportedBlock = block;
    this.report({played, stale: this.stale, startFrame: this.startFrame,
                 unheard: this.unheard});
  }
}

const webAudio = (function () {
  let context = null;
  let player = null;   // the page's own player, when a ScriptProcessorNode plays
  let port = null;     // the worklet's, when an AudioWorkletNode plays
  let node = null;     // the one that plays
  let analyser = null; // between the node and the speakers, with ?bench
  let kind = 'none';
  let ring = null;     // the engine's ring: byte offset and size in WebAssembly memory
  let ringBytes = 0;
  let ringRate = 0;
  const nothingPlayed = {played: 0, stale: 0, startFrame: -1, unheard: 0};
  let last = nothingPlayed;
  let playing = false;

  function workletSource() {
    const processor = () => {
      class RingProcessor extends AudioWorkletProcessor {
        constructor() {
          super();
          this.player = new RingPlayer((report) => this.port.postMessage(report));
          this.port.onmessage = (event) => this.player.handle(event.data);
        }
        process(inputs, outputs) {
          this.player.render(outputs[0][0], outputs[0][1], currentFrame);
          return true;
        }
      }
      registerProcessor('ring-player', RingProcessor);
    };
    return RingPlayer.toString() + '\n(' + processor.toString() + ')();\n';
  }

  function onReport(report) {
    if (!playing) return;
    last = report;
    Module._webPumpStream();
  }

  function deliver(message, transfer) {
    if (port) port.postMessage(message, transfer);
    else if (player) player.handle(message);
  }

  function copyOfRing(firstFrame, frames) {
    return HEAP16.slice(ring / 2 + 2 * firstFrame, ring / 2 + 2 * (firstFrame + frames));
  }

  return {
    // In the click or key handler: browsers let a context run only from there. False when the
    // browser has no Web Audio.
    create() {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (!Context) return false;
      try {
        context = new Context({sampleRate: 44100});
      } catch (e) {
        // A context that refuses the engine's rate plays at its own, and the player resamples.
        try {
          context = new Context();
        } catch (e2) {
          return false;
        }
      }
      context.resume();
      return true;
    },

    // Builds the player and waits until the context runs: true when there is sound output.
    async connect(waitMilliseconds) {
      if (!context) return false;
      if (context.audioWorklet && window.AudioWorkletNode) {
        try {
          const url = URL.createObjectURL(
              new Blob([workletSource()], {type: 'application/javascript'}));
          await context.audioWorklet.addModule(url);
          URL.revokeObjectURL(url);
          node = new AudioWorkletNode(
              context, 'ring-player', {numberOfInputs: 0, outputChannelCount: [2]});
          port = node.port;
          port.onmessage = (event) => onReport(event.data);
          kind = 'AudioWorkletNode';
        } catch (e) {
          node = null;
          port = null;
        }
      }
      if (!node && context.createScriptProcessor) {
        node = context.createScriptProcessor(4096, 0, 2);
        player = new RingPlayer(onReport);
        node.onaudioprocess = (event) => {
          const out = event.outputBuffer;
          player.render(out.getChannelData(0), out.getChannelData(1),
                        Math.round(event.playbackTime * context.sampleRate));
        };
        kind = 'ScriptProcessorNode';
      }
      if (!node) return false;
      if (benchmarking) {
        analyser = context.createAnalyser();
        analyser.fftSize = 2048;
        node.connect(analyser);
        analyser.connect(context.destination);
      } else {
        node.connect(context.destination);
      }
      const until = performance.now() + waitMilliseconds;
      while (context.state !== 'running' && performance.now() < until)
        await new Promise((resolve) => setTimeout(resolve, 20));
      return context.state === 'running';
    },

    // A context that never ran (no gesture where one is needed) is given up.
    abandon() {
      if (context) context.close();
      context = player = port = node = analyser = null;
      kind = 'none';
    },

    open(rate) {
      ringRate = rate;
      return context !== null && node !== null && context.state === 'running';
    },
    prepare(pointer, bytes) {
      ring = pointer;
      ringBytes = bytes;
    },
    play(blockFrames) {
      if (!ring) return;
      last = nothingPlayed;
      playing = true;
      const samples = copyOfRing(0, ringBytes / 4);
      deliver({type: 'play', samples, blockFrames, step: ringRate / context.sampleRate},
              [samples.buffer]);
    },
    position() {
      return playing ? 4 * last.played : 0;
    },
    send(firstFrame, frames) {
      const samples = copyOfRing(firstFrame, frames);
      deliver({type: 'blocks', first: firstFrame, samples}, [samples.buffer]);
    },
    reset() {
      playing = false;
      last = nothingPlayed;
      deliver({type: 'stop'}, []);
    },
    close() {
      this.reset();
    },

    // Milliseconds of music heard at this moment: the context time now leaving the speakers,
    // less the time at which the player started the ring. NaN before it has started.
    musicMilliseconds() {
      if (!playing || last.startFrame < 0) return NaN;
      let heard;
      const stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
      if (stamp && stamp.performanceTime > 0) {
        // Carried forward from the last timestamp, but not far: when the sound stops, the
        // pictures stop with it.
        const since = Math.min(performance.now() - stamp.performanceTime, 250);
        heard = stamp.contextTime + since / 1000;
      } else {
        heard = context.currentTime - (context.outputLatency || context.baseLatency || 0);
      }
      return (heard - last.startFrame / context.sampleRate) * 1000;
    },

    // What the page reports about its sound: for people and for the end-to-end check. The
    // level (root mean square of the last 2048 frames heard) is null without ?bench. The
    // output's latency: the node's buffer (context frames; a render quantum for the
    // worklet), the context's own latency and the device's where the browser gives them
    // (seconds), and the context frames rendered that the browser had no time to play.
    describe() {
      let level = null;
      if (analyser) {
        const wave = new Float32Array(analyser.fftSize);
        analyser.getFloatTimeDomainData(wave);
        let sum = 0;
        for (const v of wave) sum += v * v;
        level = Math.sqrt(sum / wave.length);
      }
      return {
        node: kind,
        state: context ? context.state : 'none',
        sampleRate: context ? context.sampleRate : 0,
        playedFrames: last.played,
        staleBlocks: last.stale,
        level,
        bufferFrames: node ? node.bufferSize || 128 : 0,
        baseLatency: (context && context.baseLatency) || 0,
        outputLatency: (context && context.outputLatency) || 0,
        unheardFrames: last.unheard,
      };
    },
  };
})();

const webPage = (function () {
  const prompt = document.getElementById('prompt');
  const heading = document.getElementById('title');
  const line = document.getElementById('line');
  const canvas = document.getElementById('screen');
  // loading, waiting (for a click or a key), starting, running or failed.
  let state = 'loading';
  let context2d = null;
  let image = null;
  let shownFrame = 0;       // the frame on the canvas
  let presentedFrames = 0;  // frames that reached the canvas

  // With ?bench, the main thread's time for every presented frame in the first minute, from
  // the performance marks: drawing the frames that came due, converting the cells to pixels,
  // putting them on the canvas.
  const stages = ['demo-frame', 'demo-drawn', 'demo-converted', 'demo-presented'];
  const timings = {draw: [], convert: [], upload: [], total: []};
  const timedMilliseconds = 60000;
  let firstPresented = -1;

  function say(text) {
    line.textContent = text;
    prompt.hidden = false;
    canvas.hidden = true;
  }

  async function start(gesture) {
    if (state !== 'waiting') return;
    state = 'starting';
    const created = webAudio.create();
    if (gesture) Module._webOpenConsole();
    const connected = created && await webAudio.connect(gesture ? 3000 : 1000);
    if (!gesture && !connected) {
      // No autoplay without a gesture here: ask for one.
      webAudio.abandon();
      state = 'waiting';
      say('click or press a key to start');
      return;
    }
    if (!gesture) Module._webOpenConsole();
    const problem = Module._webStartUp();
    if (problem) {
      state = 'failed';
      say(UTF8ToString(problem));
      return;
    }
    state = 'running';
  }

  function toggleFullScreen() {
    const page = document.documentElement;
    if (document.fullscreenElement) document.exitFullscreen();
    else if (page.requestFullscreen) page.requestFullscreen();
  }

  function begin(gesture) {
    start(gesture).catch((error) => {
      state = 'failed';
      say('The demo could not start: ' + error);
    });
  }

  document.addEventListener('click', () => begin(true));
  document.addEventListener('keydown', (event) => {
    if (event.repeat || event.ctrlKey || event.altKey || event.metaKey) return;
    if (state === 'running') toggleFullScreen();
    else begin(true);
  });
  document.addEventListener('dblclick', () => {
    if (state === 'running') toggleFullScreen();
  });

  function median(values) {
    if (!values.length) return NaN;
    const sorted = Float64Array.from(values).sort();
    return sorted[sorted.length >> 1];
  }

  // What the page shows and plays, for the end-to-end check and the benchmark.
  window.demo = {
    state: () => state,
    stats() {
      const music = state === 'running' ? webAudio.musicMilliseconds() : NaN;
      return {
        state,
        title: document.title,
        shownFrame,
        presentedFrames,
        musicMilliseconds: Number.isNaN(music) ? null : music,
        audio: webAudio.describe(),
      };
    },
    timings() {
      const summary = {frames: timings.total.length};
      for (const name in timings) {
        summary[name] = {median: median(timings[name]), worst: Math.max(0, ...timings[name])};
      }
      return summary;
    },
  };

  Module.onAbort = () => {
    state = 'failed';
    say(location.protocol === 'file:'
            ? 'The page needs a web server: see the README.'
            : 'This browser could not load the demo\'s WebAssembly.');
  };

  return {
    // The program has loaded: the page shows its title and waits for a click or a key.
    open(title) {
      document.title = title;
      heading.textContent = title;
      state = 'waiting';
      say('click or press a key to start');
      if (pageQuery.has('autostart')) begin(false);
    },
    // The canvas shows the pixels at byte offset pointer of the program's memory, width by
    // height, scaled to fit the window with its aspect kept.
    showCanvas(buffer, pointer, width, height) {
      canvas.width = width;
      canvas.height = height;
      canvas.style.setProperty('--aspect', width / height);
      context2d = canvas.getContext('2d', {alpha: false});
      image = new ImageData(new Uint8ClampedArray(buffer, pointer, width * height * 4), width,
                            height);
      context2d.fillStyle = '#000';
      context2d.fillRect(0, 0, width, height);
      prompt.hidden = true;
      canvas.hidden = false;
    },
    upload() {
      context2d.putImageData(image, 0, 0);
    },
    presented(frame) {
      shownFrame = frame;
      presentedFrames += 1;
    },
    mark(stage) {
      if (!benchmarking) return;
      performance.mark(stages[stage]);
      if (stage !== 3) return;
      const now = performance.now();
      if (firstPresented < 0) firstPresented = now;
      if (now - firstPresented <= timedMilliseconds) {
        const measure = (name, from, to) =>
            timings[name].push(performance.measure('demo-' + name, stages[from],
                                                   stages[to]).duration);
        measure('draw', 0, 1);
        measure('convert', 1, 2);
        measure('upload', 2, 3);
        measure('total', 0, 3);
      }
      // The timeline would grow for as long as the demo runs.
      for (const name of stages) performance.clearMarks(name);
      for (const name in timings) performance.clearMeasures('demo-' + name);
    },
  };
})();
