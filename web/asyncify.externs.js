// For Closure Compiler: the exports that Binaryen's Asyncify pass adds to the module after
// Emscripten's link, which Emscripten's minimal runtime makes globals, as it does every export.
/** @param {number} data */
var _asyncify_start_unwind = function(data) {};
var _asyncify_stop_unwind = function() {};
/** @param {number} data */
var _asyncify_start_rewind = function(data) {};
var _asyncify_stop_rewind = function() {};
