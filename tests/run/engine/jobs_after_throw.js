// Reactions queued before a throw still run once the failed statement is done.
Promise.resolve().then(function () { sys.out("reaction ran"); });
Promise.reject(new Error("dropped: the throw is the statement's error"));
sys.out("before");
throw new Error("stop here");
