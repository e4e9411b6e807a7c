// The page's side of the display host and of the GL layer, as an Emscripten library: the canvas,
// its keys, clicks and full screen, the WebGL 1 context and the WebGL calls the GL layer makes,
// and sleeping until the next animation frame. Only what the module calls is here, so nothing of
// Emscripten's own HTML5 and GL libraries is linked in.
mergeInto(LibraryManager.library, {
  $page: {
    canvas: null,
    context: null,
    // The current context, if any.
    gl: null,
    escapeDown: 0,
    escapePressed: 0,
    rewinding: false,
    // The screen wake lock asked for, which gives the lock or nothing; false once the run ended.
    wakeLock: null,
    // GL names for WebGL's objects: indices into this list, where 0 names none.
    objects: [null],
  },

  $glName__deps: ['$page'],
  $glName: function(object) {
    return page.objects.push(object) - 1;
  },

  // The module's own code is not in its memory. Finds the run sequence's body through the export
  // and code sections of the bytes the page loaded, and copies 1,024 bytes from there, zero past
  // the code section's end, to address: the function's table slot, below the data.
  page_place_code_region: function(address) {
    var bytes = new Uint8Array(Module['wasm']), at = 8, functionIndex = 0, body = 0, codeEnd = 0;
    function number() {
      for (var value = 0, shift = 0;; shift += 7) {
        var byte = bytes[at++];
        value += (byte & 127) * Math.pow(2, shift);
        if (byte < 128) return value;
      }
    }
    function text() {
      var length = number();
      at += length;
      return String.fromCharCode.apply(null, bytes.subarray(at - length, at));
    }
    while (at < bytes.length) {
      var id = bytes[at++], end = number() + at;
      // The module imports only functions (kind 0, then a type index), and they come first in
      // the function index space.
      if (id == 2) {
        for (var count = number(); count--; functionIndex--) text(), text(), at++, number();
      }
      if (id == 7) {
        for (var count = number(); count--;) {
          var name = text(), kind = bytes[at++], index = number();
          if (name == '_Z10run_effectv' && kind == 0) functionIndex += index;
        }
      }
      if (id == 10) {
        for (var count = number(), index = 0; index < count; index++) {
          var length = number();
          if (index == functionIndex) body = at;
          at += length;
        }
        codeEnd = end;
      }
      at = end;
    }
    HEAPU8.fill(0, address, address + 1024);
    HEAPU8.set(bytes.subarray(body, Math.min(body + 1024, codeEnd)), address);
  },

  page_canvas_size__deps: ['$page'],
  page_canvas_size: function(width, height) {
    page.canvas = document.getElementById('canvas');
    var box = page.canvas.getBoundingClientRect();
    HEAPF64[width >> 3] = box.width;
    HEAPF64[height >> 3] = box.height;
  },

  page_pixel_ratio: function() {
    return devicePixelRatio;
  },

  // Key, click and full-screen events only leave Escape's two bits for the next poll. Browsers
  // grant full screen only while they handle a click, a tap or a key, so it is asked for there.
  page_open_canvas__deps: ['$page'],
  page_open_canvas: function(width, height) {
    var canvas = page.canvas;
    canvas.width = width;
    canvas.height = height;
    // Safari before 16.4 has it only under WebKit's names, and a phone's may not have it at all.
    function fullScreen() {
      var ask = canvas.requestFullscreen || canvas.webkitRequestFullscreen;
      if (ask) ask.call(canvas);
    }
    function fullScreenChange() {
      page.escapePressed |= !(document.fullscreenElement || document.webkitFullscreenElement);
    }
    function key(event) {
      var down = event.type == 'keydown';
      if (event.key == 'Escape') {
        page.escapeDown = down;
        page.escapePressed |= down;
        event.preventDefault();
      } else if ((event.key == 'f' || event.key == 'F') && !event.ctrlKey && !event.altKey &&
                 !event.metaKey) {
        // A plain F only: with a modifier it is the browser's.
        if (down) fullScreen();
        event.preventDefault();
      }
    }
    addEventListener('keydown', key, true);
    addEventListener('keyup', key, true);
    canvas.addEventListener('click', function(event) {
      fullScreen();
      event.preventDefault();
    });
    // The screen stays on while it runs. A browser lets the lock go whenever the page is hidden,
    // so it is asked for again when the page is shown; refused, or where there is none, nothing
    // else changes. Its names are quoted, as the Closure Compiler knows none of them.
    function keepScreenOn() {
      var wakeLock = navigator['wakeLock'];
      if (wakeLock && page.wakeLock !== false && !document.hidden)
        page.wakeLock = wakeLock['request']('screen').catch(function() {});
    }
    keepScreenOn();
    document.addEventListener('visibilitychange', keepScreenOn);
    // The browser keeps the Escape that leaves full screen for itself, so leaving counts as a
    // press.
    document.addEventListener('fullscreenchange', fullScreenChange);
    document.addEventListener('webkitfullscreenchange', fullScreenChange);
  },

  page_poll_escape__deps: ['$page'],
  page_poll_escape: function() {
    var state = (page.escapeDown ? 0x8000 : 0) | page.escapePressed;
    page.escapePressed = 0;
    return state;
  },

  // What pixel format 4 is on the desktop: RGBA colour alone, no multisampling, and a buffer that
  // keeps what was drawn into it from frame to frame. 1 for the context, 0 when there is none.
  page_create_context__deps: ['$page'],
  page_create_context: function() {
    page.context = page.canvas.getContext('webgl', {
      'alpha': false,
      'depth': false,
      'stencil': false,
      'antialias': false,
      'premultipliedAlpha': false,
      'preserveDrawingBuffer': true,
    });
    return page.context ? 1 : 0;
  },

  page_make_current__deps: ['$page'],
  page_make_current: function(context) {
    page.gl = context ? page.context : null;
  },

  // The page has one context, kept to the end so that its last picture stays in view.
  page_delete_context: function(context) {
    return context == 1 ? 1 : 0;
  },

  page_show_end__deps: ['$page'],
  page_show_end: function(line, status) {
    if (page.wakeLock) page.wakeLock.then(function(lock) { if (lock) lock['release'](); });
    page.wakeLock = false;
    document.title += ': exit ' + status;
    var end = document.getElementById('end');
    end.textContent = UTF8ToString(line);
    end.hidden = false;
  },

  // Asyncify: the calls from main down to here unwind into the state at data (where it begins,
  // where it may end, then the saved calls), and on the next animation frame main is called
  // again to rewind them, back to the return from here.
  page_next_frame__deps: ['$page'],
  page_next_frame: function(data, end) {
    if (page.rewinding) {
      page.rewinding = false;
      _asyncify_stop_rewind();
      return;
    }
    HEAP32[data >> 2] = data + 8;
    HEAP32[data + 4 >> 2] = end;
    _asyncify_start_unwind(data);
    requestAnimationFrame(function() {
      _asyncify_stop_unwind();
      _asyncify_start_rewind(data);
      page.rewinding = true;
      _main();
    });
  },

  // Unwinds for good: main returns to the page, and nothing calls the module again.
  page_sleep_for_good: function(data, end) {
    HEAP32[data >> 2] = data + 8;
    HEAP32[data + 4 >> 2] = end;
    _asyncify_start_unwind(data);
  },

  glCreateProgram__deps: ['$page', '$glName'],
  glCreateProgram: function() {
    return glName(page.gl.createProgram());
  },

  glCreateShader__deps: ['$page', '$glName'],
  glCreateShader: function(type) {
    return glName(page.gl.createShader(type));
  },

  // One string, ended by its zero, as the GL layer gives its shaders.
  glShaderSource__deps: ['$page'],
  glShaderSource: function(shader, count, strings) {
    page.gl.shaderSource(page.objects[shader], UTF8ToString(HEAP32[strings >> 2]));
  },

  glCompileShader__deps: ['$page'],
  glCompileShader: function(shader) {
    page.gl.compileShader(page.objects[shader]);
  },

  glAttachShader__deps: ['$page'],
  glAttachShader: function(program, shader) {
    page.gl.attachShader(page.objects[program], page.objects[shader]);
  },

  glBindAttribLocation__deps: ['$page'],
  glBindAttribLocation: function(program, index, name) {
    page.gl.bindAttribLocation(page.objects[program], index, UTF8ToString(name));
  },

  glLinkProgram__deps: ['$page'],
  glLinkProgram: function(program) {
    page.gl.linkProgram(page.objects[program]);
  },

  glUseProgram__deps: ['$page'],
  glUseProgram: function(program) {
    page.gl.useProgram(page.objects[program]);
  },

  glGetUniformLocation__deps: ['$page', '$glName'],
  glGetUniformLocation: function(program, name) {
    return glName(page.gl.getUniformLocation(page.objects[program], UTF8ToString(name)));
  },

  glGenBuffers__deps: ['$page', '$glName'],
  glGenBuffers: function(count, names) {
    while (count--) HEAP32[(names >> 2) + count] = glName(page.gl.createBuffer());
  },

  glBindBuffer__deps: ['$page'],
  glBindBuffer: function(target, buffer) {
    page.gl.bindBuffer(target, page.objects[buffer]);
  },

  glGenTextures__deps: ['$page', '$glName'],
  glGenTextures: function(count, names) {
    while (count--) HEAP32[(names >> 2) + count] = glName(page.gl.createTexture());
  },

  glBindTexture__deps: ['$page'],
  glBindTexture: function(target, texture) {
    page.gl.bindTexture(target, page.objects[texture]);
  },

  glEnableVertexAttribArray__deps: ['$page'],
  glEnableVertexAttribArray: function(index) {
    page.gl.enableVertexAttribArray(index);
  },

  glVertexAttribPointer__deps: ['$page'],
  glVertexAttribPointer: function(index, size, type, normalized, stride, offset) {
    page.gl.vertexAttribPointer(index, size, type, !!normalized, stride, offset);
  },

  glVertexAttrib4f__deps: ['$page'],
  glVertexAttrib4f: function(index, x, y, z, w) {
    page.gl.vertexAttrib4f(index, x, y, z, w);
  },

  glBlendFunc__deps: ['$page'],
  glBlendFunc: function(source, destination) {
    page.gl.blendFunc(source, destination);
  },

  webgl_enable__deps: ['$page'],
  webgl_enable: function(capability) {
    page.gl.enable(capability);
  },

  // RGBA bytes, as the GL layer uploads them.
  webgl_tex_image_2d__deps: ['$page'],
  webgl_tex_image_2d: function(target, level, internalFormat, width, height, border, format, type,
                               pixels) {
    page.gl.texImage2D(target, level, internalFormat, width, height, border, format, type,
                       HEAPU8.subarray(pixels, pixels + width * height * 4));
  },

  glUniformMatrix4fv__deps: ['$page'],
  glUniformMatrix4fv: function(location, count, transpose, value) {
    page.gl.uniformMatrix4fv(page.objects[location], !!transpose,
                             HEAPF32.subarray(value >> 2, (value >> 2) + 16 * count));
  },

  glBufferData__deps: ['$page'],
  glBufferData: function(target, size, data, usage) {
    page.gl.bufferData(target, HEAPU8.subarray(data, data + size), usage);
  },

  glDrawArrays__deps: ['$page'],
  glDrawArrays: function(mode, first, count) {
    page.gl.drawArrays(mode, first, count);
  },
});
