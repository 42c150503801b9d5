// MarqenI: the signing control for this page, through the local bridge that served this script.
// MarqenI.connect() resolves to an object with one async method per method of the control.
(function (global) {
  'use strict';

  var METHODS = [
    'updateData', 'updateDataFile', 'updateSignature', 'updateSignatureFile', 'setDetached',
    'setSignatureFormat', 'selectSigningCertFromUI', 'getSelectedSignerCertDetails',
    'setSigningCertFromStore', 'setSigningCertFromFile', 'setComments', 'setDocumentName',
    'SetLogo', 'setSigningTime', 'setTimeStamp', 'validateCertBeforeSigning', 'askPinAlways',
    'Base64ToDER', 'DERToBase64',
    'sign', 'coSign', 'getSignerCertCountFromStore', 'getSignerCertDetailsFromStore',
    'getSignerCertDetailsFromFile', 'viewSignerCertFromFile', 'viewSignerCertFromStore',
    'getErrorMessage', 'coSignToFile', 'signToFile', 'rawSign', 'rawSignatureToFile',
    'counterSign', 'counterSignToFile', 'setRevocationCheck', 'setRevocationCheckOnline',
    'setHashAlgorithm', 'setCA', 'AboutBox'
  ];

  // Where this script came from is where the bridge listens.
  var source = document.currentScript && document.currentScript.src;
  var base = new URL(source || 'http://127.0.0.1:47215/marqen.js');
  var address = (base.protocol === 'https:' ? 'wss://' : 'ws://') + base.host + '/control';

  function toWire(value) {
    if (value instanceof Date) return { date: value.getTime() };
    return value === undefined ? null : value;
  }

  function connect() {
    return new Promise(function (resolve, reject) {
      var socket;
      try {
        socket = new WebSocket(address);
      } catch (e) {
        reject(e);
        return;
      }
      var pending = new Map();
      var next = 1;
      var opened = false;
      var gone = null;

      function fail(reason) {
        if (!gone) gone = new Error(reason);
        pending.forEach(function (call) { call.reject(gone); });
        pending.clear();
        if (!opened) reject(gone);
      }

      function invoke(method, args) {
        return new Promise(function (resolveCall, rejectCall) {
          if (gone || socket.readyState !== WebSocket.OPEN) {
            rejectCall(gone || new Error('the bridge connection is closed'));
            return;
          }
          var id = next++;
          pending.set(id, { resolve: resolveCall, reject: rejectCall });
          try {
            socket.send(JSON.stringify({ id: id, method: method, args: args.map(toWire) }));
          } catch (e) {
            pending.delete(id);
            rejectCall(e);
          }
        });
      }

      var control = {
        close: function () { socket.close(); }
      };
      METHODS.forEach(function (name) {
        control[name] = function () {
          return invoke(name, Array.prototype.slice.call(arguments));
        };
      });

      socket.onopen = function () {
        opened = true;
        resolve(control);
      };
      socket.onmessage = function (event) {
        var message;
        try {
          message = JSON.parse(event.data);
        } catch (e) {
          return;
        }
        var call = pending.get(message.id);
        if (!call) return;
        pending.delete(message.id);
        if ('error' in message) call.reject(new Error(message.error));
        else call.resolve(message.result);
      };
      socket.onerror = function () { fail('the bridge refused the connection or went away'); };
      socket.onclose = function () { fail('the bridge connection is closed'); };
    });
  }

  global.MarqenI = { connect: connect };
})(this);
